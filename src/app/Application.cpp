#include "app/Application.h"

#include <GL/glew.h>

#include "ExitStatus.h"

Application::Application(int width, int height, PathVariant variant)
    : width(width), height(height), variant(variant), status(kStatusOk) {}

void Application::update(float, const KeyState&, const MouseState&) {}

void Application::draw() {
  glClearColor(0.05f, 0.1f, 0.2f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}
