#include "Tracer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// World units (the scene box is -30..30) to octree units (0..1024).
V3 worldToOctree(V3 w) { return (w + V3{30.0f, 30.0f, 30.0f}) * (1024.0f / 60.0f); }

struct PinholeCamera {
  V3 eye;      // octree units
  V3 A, B, C;  // world units, as the demo's image plane at distance 1
  V3 eyeWorld;
};

PinholeCamera startCamera() {
  const V3 eye{-7.0f, -20.0f, 13.0f};
  const V3 target{-4.0f, -23.0f, 0.0f};
  const V3 forward = normalized(target - eye);
  const V3 right = normalized(cross(forward, V3{0.0f, 1.0f, 0.0f}));
  const V3 up = normalized(cross(right, forward));
  const float aspect = 1.5f;
  const float t = std::tan(60.0f * 0.017453292f * 0.5f);
  PinholeCamera camera;
  camera.eyeWorld = eye;
  camera.eye = worldToOctree(eye);
  camera.A = right * (2.0f * aspect * t);
  camera.B = up * (2.0f * t);
  camera.C = eye - right * (aspect * t) - up * t + forward;
  return camera;
}

V3 primaryDirection(const PinholeCamera& camera, float xf, float yf) {
  return normalized(camera.C + camera.A * xf + camera.B * yf - camera.eyeWorld);
}

struct Surface {
  bool found = false;
  V3 position;
  V3 normal;
  V3 colour;
  float code = 0.0f;
};

Surface trace(const PreviewScene& scene, const Bvh& bvh, V3 origin, V3 direction, float tMin) {
  Surface s;
  const Hit hit = bvh.intersect(origin, direction, tMin, 1e30f);
  if (hit.triangle < 0) return s;
  const PreviewTriangle& t = scene.triangles[hit.triangle];
  const Material& m = scene.objects[t.material].material;
  s.found = true;
  s.position = origin + direction * hit.t;
  s.normal = normalized(t.normal[0] + (t.normal[1] - t.normal[0]) * hit.u +
                        (t.normal[2] - t.normal[0]) * hit.v);
  s.colour = V3{float(m.r), float(m.g), float(m.b)} * (1.0f / 255.0f);
  s.code = m.a / 255.0f;
  return s;
}

float emittance(float code) { return (code > 0.5f && code < 0.8f) ? (code - 0.5f) * 24.0f : 0.0f; }

struct Random {
  uint64_t state;
  float next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<float>((state >> 40) & 0xFFFFFF) / 16777216.0f;
  }
};

V3 along(V3 v, V3 n) {
  V3 c = n;
  const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  if (ax < ay && ax < az) c.x = 1.0f;
  else if (ay < az) c.y = 1.0f;
  else c.z = 1.0f;
  const V3 t = normalized(cross(c, n));
  const V3 s = cross(t, n);
  return t * v.x + n * v.y + s * v.z;
}

V3 nextDirection(V3 normal, float code, V3 incoming, bool emits, Random& random) {
  const float pi = 3.141592f;
  if (code < 0.1f) {
    const float phi = 2.0f * pi * random.next();
    const float r = std::sqrt(random.next());
    const float x = r * std::sin(phi), z = r * std::cos(phi);
    return normalized(along({x, std::sqrt(std::max(0.0f, 1.0f - x * x - z * z)), z}, normal));
  }
  const V3 reflected = incoming - normal * (2.0f * dot(normal, incoming));
  if (code > 0.99f || emits) return reflected;
  const float g = (code - 0.8f) * 1000.0f;
  const float phi = 2.0f * pi * random.next();
  const float r2 = random.next();
  const float st = std::sqrt(std::max(0.0f, 1.0f - std::pow(r2, 2.0f / (g + 1.0f))));
  return normalized(along({std::sin(phi) * st, std::pow(r2, 1.0f / (g + 1.0f)),
                           std::cos(phi) * st}, reflected));
}

V3 background(float yf) { return {0.1f, 0.1f + 0.05f * yf, 0.35f * yf}; }

V3 pathSample(const PreviewScene& scene, const Bvh& bvh, const PinholeCamera& camera, float xf,
              float yf, Random& random) {
  const V3 eyeDir = primaryDirection(camera, xf, yf);
  const Surface first = trace(scene, bvh, camera.eye, eyeDir, 0.0f);
  if (!first.found) return background(yf);
  const float e0 = emittance(first.code);
  const V3 ambient{0.05f, 0.05f, 0.05f};
  const V3 light0 =
      e0 > 0.0f ? first.colour * (e0 * std::max(dot(first.normal, -eyeDir), 0.0f) * 0.75f)
                : ambient;
  V3 direction = nextDirection(first.normal, first.code, eyeDir, e0 > 0.0f, random);
  V3 origin = first.position + direction * 0.512f;  // 0.0005 of the cube
  V3 c[3] = {};
  V3 e[3] = {ambient, ambient, ambient};
  const V3 sky{0.85f, 0.85f, 1.25f};
  const V3 skyDirection = normalized(V3{-0.25f, 1.0f, -0.2f});
  for (int i = 0; i < 2; ++i) {
    const Surface s = trace(scene, bvh, origin, direction, 1.024f);
    if (!s.found) {
      e[i] = sky * std::max(dot(skyDirection, direction), 0.0f);
      break;
    }
    c[i] = s.colour;
    const float f = emittance(s.code);
    if (f > 0.0f) {
      e[i] = s.colour * (f * std::max(dot(s.normal, -direction), 0.5f));
      break;
    }
    direction = nextDirection(s.normal, s.code, direction, false, random);
    origin = s.position + direction * 0.512f;
  }
  const V3 col = light0 + first.colour * (e[0] + c[0] * (e[1] + c[1] * (e[2] + c[2] * 0.05f)));
  return {std::min(col.x, 1.0f), std::min(col.y, 1.0f), std::min(col.z, 1.0f)};
}

}  // namespace

PreviewImage renderHitColour(const PreviewScene& scene, const Bvh& bvh, int width, int height) {
  const PinholeCamera camera = startCamera();
  PreviewImage image{width, height, std::vector<float>(size_t(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float xf = (x + 0.5f) / width, yf = (y + 0.5f) / height;
      const Surface s = trace(scene, bvh, camera.eye, primaryDirection(camera, xf, yf), 0.0f);
      const V3 c = s.found ? s.colour : V3{0.0f, 0.0f, 0.0f};
      float* out = &image.rgb[(size_t(y) * width + x) * 3];
      out[0] = c.x, out[1] = c.y, out[2] = c.z;
    }
  }
  return image;
}

PreviewImage renderPaths(const PreviewScene& scene, const Bvh& bvh, int width, int height,
                         int samples) {
  const PinholeCamera camera = startCamera();
  PreviewImage image{width, height, std::vector<float>(size_t(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Random random{0x9E3779B97F4A7C15ULL ^ (uint64_t(y) * 100003u + x) * 2654435761ULL};
      V3 sum;
      for (int s = 0; s < samples; ++s) {
        const float xf = (x + random.next()) / width, yf = (y + random.next()) / height;
        sum = sum + pathSample(scene, bvh, camera, xf, yf, random);
      }
      float* out = &image.rgb[(size_t(y) * width + x) * 3];
      out[0] = sum.x / samples, out[1] = sum.y / samples, out[2] = sum.z / samples;
    }
  }
  return image;
}
