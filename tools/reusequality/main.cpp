// How close each picture along a small camera move comes to a many-sample
// picture of the same view, with one sample a view: started afresh (as
// without reuse) or carried over from the views before, each plain and
// denoised. Prints one row a view (PSNR in dB) and the means. Run in run/:
//
//   reusequality [--size WxH] [--views N] [--reference-samples N]
#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "ExitStatus.h"
#include "app/Application.h"
#include "platform/desktop/LegacyWindow.h"

namespace {

struct Options {
  int width = 384;
  int height = 256;
  int views = 12;
  int referenceSamples = 128;
};

// The start camera's eye moves this far aside per view: about a pixel at
// 384x256, as a slow drag moves it.
constexpr float kStepPerView = 0.15f;
constexpr float kSecondsPerView = 1.0f / 30.0f;

std::vector<float> readRgb(GLuint texture, int width, int height) {
  glFinish();
  std::vector<float> rgba(static_cast<size_t>(width) * height * 4);
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, rgba.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  return rgba;
}

double psnr(const std::vector<float>& picture, const std::vector<float>& reference,
            float pictureScale = 1.0f, float referenceScale = 1.0f) {
  double sum = 0.0;
  size_t count = 0;
  for (size_t i = 0; i < picture.size(); i += 4) {
    for (size_t c = 0; c < 3; ++c) {
      const double a = std::fmin(std::fmax(picture[i + c] * pictureScale, 0.0f), 1.0f);
      const double b = std::fmin(std::fmax(reference[i + c] * referenceScale, 0.0f), 1.0f);
      sum += (a - b) * (a - b);
      ++count;
    }
  }
  return 10.0 * std::log10(1.0 / std::fmax(sum / static_cast<double>(count), 1e-12));
}

void lookFromView(Application& app, int view) {
  const Vector3 eye = {-7.0f + kStepPerView * static_cast<float>(view), -20.0f, 13.0f};
  app.camera.lookAt(eye, {-4.0f, -23.0f, 0.0f}, {0.0f, 1.0f, 0.0f});
  app.cameraMoved();
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--size") == 0) {
      if (std::sscanf(argv[i + 1], "%dx%d", &options.width, &options.height) != 2) return false;
    } else if (std::strcmp(argv[i], "--views") == 0) {
      options.views = std::atoi(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--reference-samples") == 0) {
      options.referenceSamples = std::atoi(argv[i + 1]);
    } else {
      return false;
    }
  }
  return options.width > 0 && options.height > 0 && options.views > 0 &&
         options.referenceSamples > 0 && argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    std::fprintf(stderr, "usage: reusequality [--size WxH] [--views N] [--reference-samples N]\n");
    return kStatusFatal;
  }
  LegacyWindow window;
  if (!glfwInit() || !window.open(options.width, options.height, /*visible=*/false) ||
      !loadGlEntryPoints()) {
    std::fprintf(stderr, "no GL context\n");
    return kStatusFatal;
  }
  glViewport(0, 0, options.width, options.height);
  auto app = std::make_unique<Application>(options.width, options.height, PathVariant::TwoBounce,
                                           /*withMusic=*/false);
  if (app->startupStatus() != kStatusOk) return app->startupStatus();
  app->frameSeconds = kSecondsPerView;
  const int w = options.width, h = options.height;

  // The references first: many samples of each view, none carried.
  std::vector<std::vector<float>> references;
  for (int view = 0; view < options.views; ++view) {
    app->forgetHistory();
    lookFromView(*app, view);
    while (app->sampling.sampleCount < options.referenceSamples) app->draw();
    references.push_back(readRgb(app->gpu.accumTexture, w, h));
    std::fprintf(stderr, "reference %d of %d\n", view + 1, options.views);
  }
  const float referenceScale = 1.0f / static_cast<float>(options.referenceSamples);

  std::printf("view | fresh | fresh, denoised | reused | reused, denoised\n");
  double sums[4] = {};
  app->reuseSamples = true;
  app->denoising = true;
  app->denoiseEveryFrame = false;
  app->forgetHistory();
  for (int view = 0; view < options.views; ++view) {
    const std::vector<float>& reference = references[static_cast<size_t>(view)];
    double row[4];
    // Afresh: one sample of the view alone, as today's demo shows it.
    app->reuseSamples = false;
    lookFromView(*app, view);
    app->draw();
    app->draw();
    row[0] = psnr(readRgb(app->gpu.accumTexture, w, h), reference, 1.0f, referenceScale);
    row[1] = psnr(readRgb(app->denoisedPicture(), w, h), reference, 1.0f, referenceScale);
    // Carried over: the views before this one, one sample each.
    app->reuseSamples = true;
    lookFromView(*app, view);
    app->draw();
    row[2] = psnr(readRgb(app->gpu.temporal.targets.picture, w, h), reference, 1.0f,
                  referenceScale);
    row[3] = psnr(readRgb(app->denoisedPicture(), w, h), reference, 1.0f, referenceScale);
    std::printf("%d | %.1f | %.1f | %.1f | %.1f\n", view, row[0], row[1], row[2], row[3]);
    for (int i = 0; i < 4; ++i) sums[i] += row[i];
  }
  std::printf("mean | %.1f | %.1f | %.1f | %.1f\n", sums[0] / options.views,
              sums[1] / options.views, sums[2] / options.views, sums[3] / options.views);
  return kStatusOk;
}
