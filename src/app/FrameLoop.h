#pragma once

#include <functional>
#include <limits>
#include <optional>

#include "app/Application.h"
#include "app/FrameBudget.h"
#include "app/KeyState.h"
#include "app/MouseState.h"
#include "app/Tour.h"
#include "app/TouchGestures.h"
#include "render/GpuQueue.h"

// The time step of a program's first frame (it must not see the time spent
// building the scene), of every frame of a still, and the light's step per
// pass in the page, so that a picture of N samples is the same everywhere.
constexpr float kFrameStep = 0.016f;

// Without a sample count of its own a page rests at this many samples:
// doubling them changes the picture by less than one 8-bit level (RMS),
// where doubling 512 still changed it by 1.3 (docs/PERFORMANCE.md has the
// measurement).
constexpr int kRestSamples = 1024;

// Frames longer than this (a hidden tab) are not handed to the camera whole;
// a weak device's slow frames, a tour's among them, are.
constexpr float kLongestPageStep = 0.25f;

// A tour is watched, not steered: its frames may take this long (or the
// page's budget, if longer), for a sharper moving picture than a drag's.
// On Mesa llvmpipe at 768x512 the browser's own cost took most of a 40 ms
// frame; 80 to 100 ms frames brought the tour 3 dB closer to the video.
constexpr int kTourFrameBudgetMs = 80;

// How often a browser calls the page's frames: a page learns that the GPU
// finished a frame only at its next one.
constexpr double kDisplayFrameMs = 1000.0 / 60.0;
// A band goes in behind the one the GPU is drawing only when that one is
// due to end within this many display frames: enough to keep the GPU busy
// across the wait for the next frame, and all that a drag then waits for
// besides one band. Two let the GPU run dry at times (the page sees it
// finish late); three let a drag on a phone's canvas wait past 150 ms.
constexpr double kQueuedDisplayFrames = 2.5;

// How a platform runs the loop. The desktop's window draws every frame and
// only waits for input once the picture is complete; a page draws only
// while its picture wants samples, under a frame budget, and otherwise runs
// no frames at all until something wakes it.
struct LoopRules {
  bool page = false;
  int budgetMs = 0;  // 0: whole passes every frame
  int samples = 0;   // a page's picture is finished here; 0: kRestSamples
  int view = 0;      // 1 to 3: a page showing that primary view instead
  float longestStep = std::numeric_limits<float>::infinity();
  bool tour = false;  // start touring along the video's path
};

// The key that starts a tour, and hands the camera back like any other.
constexpr int kKeyTour = 'T';

LoopRules desktopRules();
LoopRules pageRules(int budgetMs, int samples, int view);

// One frame loop for every platform. The platform owns the window or
// canvas, feeds its input events and the time in here, and asks whether
// to wait; the loop owns the input state, the time step, the budget, the
// GPU's pacing and the rules of rest and wake.
class FrameLoop {
 public:
  FrameLoop(Application& app, const LoopRules& rules, int cursorWidth, int cursorHeight);

  // Called when input must wake a resting loop: the platform starts its
  // frames again (a browser resumes its loop; a window's loop needs none).
  std::function<void()> onWake;

  // Input. Each wakes the loop, except a pointer moving with no button
  // down: a pointer passing over a resting page leaves it resting. Each
  // that wakes it also ends a tour (a page's buttons too); kKeyTour starts
  // one.
  void key(int code, bool down);
  // A button of the page: the key pressed and let go within one frame.
  void press(int code);
  void mouseButton(int button, bool down);
  // A button event that says where the cursor is (a page's).
  void mouseButton(int button, bool down, int x, int y);
  void mouseMove(int x, int y, bool anyButtonDown);
  void setWheel(int position);  // a window's absolute wheel position
  void turnWheel(int notches);  // a page's wheel and pinch
  void touch(const TouchPoint* touches, int count, bool ending);
  // The cursor's area, in the units of its positions.
  void resizeCursor(int width, int height);
  void wake();

  // The time step of the frame at `now` (seconds). A window that draws
  // nothing this frame (minimised) still takes it, so that the time spent
  // away is not handed to the next.
  float tick(double now);
  // One frame at time `now`: the camera, the keys, then the frame's share
  // of drawing. The input's edges stay until endFrame.
  struct Frame {
    bool drew = false;  // drawing was due; `work` says what it drew
    FrameWork work;
  };
  Frame step(double now);
  // Clears the frame's input edges (after the platform read its own keys).
  void endFrame();
  // A frame in which nothing may draw (a lost context, a video being made):
  // its input is dropped, not saved for later, and the budget learns
  // nothing from the interval across it.
  void skipFrame(double now);

  // Whether the picture wants another frame of drawing.
  bool wantsFrame() const;
  // Whether the platform should stop running frames until input (a page)
  // or wait for input between them (a window).
  bool waitsForInput() const;
  // A page that stops running frames: the interval across the pause must
  // teach the budget nothing.
  void rest();
  bool resting() const { return restingNow; }

  // After a lost context came back: its fences are gone, and the frame
  // before the loss timed nothing.
  void forgetGpu();

  // A turn along the video's path from the camera's view now, in real
  // time, until input hands the camera back.
  void startTouring();
  bool touring() const { return tour.on; }
  // The path time of the picture shown, or nothing when not touring.
  std::optional<double> tourTime() const { return tour.on ? shownTourTime : std::nullopt; }

  KeyState keys;
  MouseState mouse;
  FrameBudget budget;
  // The tour's frames learn apart from the steered ones, so that a drag
  // after a tour starts from a drag's picture size.
  FrameBudget tourBudget;
  GpuQueue gpu;
  // The fences the queue waits on; tests put a stand-in here.
  const FenceCalls* fences = &glFences();

 private:
  // Under a budget, a moving picture waits until the GPU is idle, and
  // bands while it is two frames behind or due to be busy for long.
  bool gpuBehind(double now) const;
  // How long the GPU should still take over the last frame in flight, by
  // what bands have cost it of late.
  double lastFrameLeftMs(double now) const;
  // Teaches the budget what the oldest frame in flight cost the GPU, once
  // its fence shows it done.
  void timeFinishedFrame(double now);
  // The frames in flight teach nothing: what they drew was timed under
  // another budget, or a pause or a skipped frame lies across them.
  void untimeFramesInFlight();
  FrameWork drawWork(double now);
  FrameBudget& budgetNow() { return tour.on ? tourBudget : budget; }
  // Places the camera and the light where the tour has them next.
  void followTour(float dt);
  void stopTouring();

  Application& app;
  LoopRules rules;
  double lastTime = 0.0;
  bool firstFrame = true;
  double lastWorkTime = 0.0;  // of the last frame that drew
  FrameWork lastWork;         // what the frame before drew
  // What the frames behind the queue's fences drew, and when.
  struct FrameInFlight {
    FrameWork work;
    double issuedAt = 0.0;
    bool timed = true;  // learnt from, or never to be
  };
  FrameInFlight inFlight[2];  // as GpuQueue::fences
  double gpuFreeAt = 0.0;     // when the GPU was last seen to finish a frame
  double bandGpuMs = 0.0;     // what a band has cost the GPU of late; 0: not known yet
  int wheel = 0;
  PinchState pinch;
  bool restingNow = false;
  Tour tour;
  std::optional<double> shownTourTime;
  // The Application's settings the tour replaces, given back with the camera.
  struct HeldSettings {
    bool taken = false;
    float lightStep = 0.0f;
    bool reuseSamples = false;
  } held;
};
