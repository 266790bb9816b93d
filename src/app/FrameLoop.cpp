#include "app/FrameLoop.h"

#include <algorithm>

#include "app/KeyCodes.h"

LoopRules desktopRules() { return LoopRules{}; }

LoopRules pageRules(int budgetMs, int samples, int view) {
  LoopRules rules;
  rules.page = true;
  rules.budgetMs = budgetMs;
  rules.samples = samples;
  rules.view = view;
  rules.longestStep = kLongestPageStep;
  return rules;
}

FrameLoop::FrameLoop(Application& app, const LoopRules& rules, int cursorWidth, int cursorHeight)
    : mouse(static_cast<uint32_t>(std::max(cursorWidth, 1)),
            static_cast<uint32_t>(std::max(cursorHeight, 1))),
      app(app),
      rules(rules) {
  budget.budgetMs = rules.budgetMs;
  tourBudget.budgetMs = budget.tiled() ? std::max(rules.budgetMs, kTourFrameBudgetMs) : 0;
  if (rules.tour) startTouring();
}

void FrameLoop::wake() {
  restingNow = false;
  if (onWake) onWake();
}

void FrameLoop::key(int code, bool down) {
  wake();
  // A held key repeats its press; only the first one counts.
  const bool repeated = down && code > 0 && code < KeyState::kKeyCount && keys.down[code];
  if (down && !repeated) {
    if (code == kKeyTour && !tour.on) {
      startTouring();
    } else {
      stopTouring();
    }
  }
  keys.setKey(code, down);
}

void FrameLoop::press(int code) {
  wake();
  stopTouring();
  keys.setKey(code, true);
  keys.setKey(code, false);
}

void FrameLoop::mouseButton(int button, bool down) {
  wake();
  if (down) stopTouring();
  mouse.setButton(button, down);
}

void FrameLoop::mouseButton(int button, bool down, int x, int y) {
  wake();
  if (down) stopTouring();
  mouse.setPosition(x, y);
  mouse.setButton(button, down);
}

void FrameLoop::mouseMove(int x, int y, bool anyButtonDown) {
  // Only a drag moves the camera: a pointer passing over a resting page
  // leaves it resting.
  if (anyButtonDown) wake();
  mouse.setPosition(x, y);
}

void FrameLoop::setWheel(int position) {
  stopTouring();
  mouse.setWheel(position);
}

void FrameLoop::turnWheel(int notches) {
  wake();
  stopTouring();
  wheel += notches;
  mouse.setWheel(wheel);
}

void FrameLoop::touch(const TouchPoint* touches, int count, bool ending) {
  wake();
  stopTouring();
  const int notches = applyTouch(mouse, pinch, touches, count, ending);
  if (notches != 0) turnWheel(notches);
}

void FrameLoop::resizeCursor(int width, int height) {
  mouse.resize(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

float FrameLoop::tick(double now) {
  float dt = static_cast<float>(now - lastTime);
  lastTime = now;
  if (firstFrame) dt = kFrameStep;
  if (dt > rules.longestStep) dt = rules.longestStep;
  firstFrame = false;
  return dt;
}

FrameLoop::Frame FrameLoop::step(double now) {
  const float dt = tick(now);
  app.update(dt, keys, mouse);
  if (tour.on) followTour(dt);
  if (rules.page) {
    // A finished picture drawn again: F1 shows another buffer, and F2's
    // denoiser needs samples gathered while it is on.
    if (!wantsFrame() && (keys.pressed[kKeyF1] || keys.pressed[kKeyF2])) app.sampling.restart();
    if (budget.tiled()) timeFinishedFrame(now);
    if (!wantsFrame() || gpuBehind(now)) return {};
  }
  return {true, drawWork(now)};
}

void FrameLoop::endFrame() {
  keys.endFrame();
  mouse.endFrame();
}

void FrameLoop::skipFrame(double now) {
  tick(now);
  lastWork = FrameWork{};
  untimeFramesInFlight();
  endFrame();
}

// A primary view is drawn once per camera change; the path-traced picture
// until the requested samples are in.
bool FrameLoop::wantsFrame() const {
  if (!rules.page || tour.on) return true;
  const int samples = app.shownSamples();
  if (rules.view != 0) return samples < 0;
  const int wanted = rules.samples > 0 ? rules.samples : kRestSamples;
  return samples < wanted && !app.resting();
}

bool FrameLoop::waitsForInput() const {
  if (tour.on) return false;
  return rules.page ? !wantsFrame() : app.resting();
}

void FrameLoop::rest() {
  restingNow = true;
  lastWork = FrameWork{};
  untimeFramesInFlight();
}

void FrameLoop::forgetGpu() {
  gpu = GpuQueue{};
  lastWork = FrameWork{};
  inFlight[0] = inFlight[1] = FrameInFlight{};
}

// The intervals between the frames that draw then follow the GPU's work
// (but never longer than a measurement may take). A moving picture waits
// until the GPU has drawn everything before it, and then shows the camera
// as the input has left it by then: queued behind the bands, the picture
// a press draws (of the view already shown) held the drag's first move
// back by its whole cost; one moving picture queued behind another shows a
// frame later; and a moving picture, timed by its interval, must find the
// GPU free. A tour, watched and not steered, keeps the GPU full instead.
// Bands keep the GPU busy with as little queued as will do: two whole
// bands in flight made a drag wait for both.
bool FrameLoop::gpuBehind(double now) const {
  if (!budget.tiled() || lastWork.kind == FrameWorkKind::None) return false;
  if ((now - lastWorkTime) * 1000.0 >= kLongestMeasuredMs) return false;
  if (app.previewDue()) return !tour.on && !gpuIdle(gpu, *fences);
  if (!gpuHasRoom(gpu, *fences)) return true;
  return !gpuIdle(gpu, *fences) && lastFrameLeftMs(now) > kQueuedDisplayFrames * kDisplayFrameMs;
}

double FrameLoop::lastFrameLeftMs(double now) const {
  if (bandGpuMs <= 0.0) return 0.0;
  const double start = std::max(inFlight[1].issuedAt, gpuFreeAt);
  return bandGpuMs - (now - start) * 1000.0;
}

// The GPU draws the frames in flight in turn: one seen done took it from
// when it could start (issued, or the one before it done) until now, to
// within a frame. The interval between the frames that draw said less: the
// next band goes out when the one before last is done, and after a few
// cheap frames the queue has room at once, so that the intervals showed a
// display's frame while the bands grew to three times the budget.
void FrameLoop::timeFinishedFrame(double now) {
  FrameInFlight& oldest = inFlight[0];
  if (oldest.timed || gpu.fences[0] == nullptr || !fences->done(gpu.fences[0])) return;
  oldest.timed = true;
  const double start = std::max(oldest.issuedAt, gpuFreeAt);
  gpuFreeAt = now;
  const double ms = (now - start) * 1000.0;
  learnFrameTime(budgetNow(), oldest.work, ms);
  // Seen a display frame late at worst: a mean over a few bands.
  bandGpuMs = bandGpuMs > 0.0 ? 0.75 * bandGpuMs + 0.25 * ms : ms;
}

void FrameLoop::untimeFramesInFlight() { inFlight[0].timed = inFlight[1].timed = true; }

FrameWork FrameLoop::drawWork(double now) {
  budgetNow().leastPreviewScale = leastPreviewScale(app.width, app.height);
  // A moving picture waits until the GPU is idle, so its interval is its
  // cost; bands are timed by their fences.
  if (lastWork.kind == FrameWorkKind::Preview)
    learnFrameTime(budgetNow(), lastWork, (now - lastWorkTime) * 1000.0);
  if (app.previewDue() && lastWork.kind != FrameWorkKind::Preview)
    fitPreviewToBands(budgetNow(), app.width, app.height);
  lastWork = app.drawWithin(budgetNow());
  lastWorkTime = now;
  if (lastWork.shown) shownTourTime = tourSeconds(tour);
  if (budget.tiled() && lastWork.kind != FrameWorkKind::None) {
    endGpuFrame(gpu, *fences);
    inFlight[0] = inFlight[1];
    const bool band = lastWork.kind == FrameWorkKind::Tile || lastWork.kind == FrameWorkKind::Finishing;
    inFlight[1] = {lastWork, now, !band};
  }
  return lastWork;
}

void FrameLoop::startTouring() {
  if (tour.on) return;
  // From the view shown now: the one the program starts with gives the
  // video's own path, and no other view jumps when the tour begins.
  tour = startTour(treeOrbit(app.camera.eye, app.camera.center));
  shownTourTime.reset();
  lastWork = FrameWork{};  // timed under the other budget
  untimeFramesInFlight();
  wake();
}

void FrameLoop::stopTouring() {
  if (!tour.on) return;
  // The camera and the light stay where the tour left them: the visitor's
  // input moves on from there.
  handBack(tour);
  shownTourTime.reset();
  lastWork = FrameWork{};
  untimeFramesInFlight();
  if (held.taken) {
    app.lightStep = held.lightStep;
    app.reuseSamples = held.reuseSamples;
  }
  held = HeldSettings{};
}

void FrameLoop::followTour(float dt) {
  // Taken at the first frame, after a page's start-up has set them. A page
  // steps its light once per pass; on the tour the light follows the
  // path's time instead. A camera that never rests would show only its
  // flat primary view: the tour carries its samples from view to view.
  if (!held.taken) {
    held = {true, app.lightStep, app.reuseSamples};
    app.lightStep = 0.0f;
    app.reuseSamples = true;
  }
  const CameraPose pose = nextTourPose(tour, dt);
  app.camera.lookAt(pose.eye, pose.target, pose.up);
  const PathLight light = pathLight(static_cast<float>(tour.seconds));
  app.lightPos = light.position;
  app.lightAngle = light.angle;
  app.cameraMoved();
}
