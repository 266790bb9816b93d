#include "app/KeyState.h"

#include <algorithm>
#include <iterator>

void KeyState::setKey(int key, bool isDown) {
  if (key <= 0 || key >= kKeyCount) return;
  if (!down[key] && isDown) pressed[key] = true;
  if (down[key] && !isDown) released[key] = true;
  down[key] = isDown;
}

void KeyState::endFrame() {
  std::fill(std::begin(pressed), std::end(pressed), false);
  std::fill(std::begin(released), std::end(released), false);
}
