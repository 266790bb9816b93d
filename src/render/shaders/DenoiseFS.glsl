#version 330
// The denoiser's passes. Each program is this file with one of
// GATHER_MOMENTS, PREPARE, FILTER, LAST_FILTER or RECENTRE defined right
// after the version line, so that the helpers and constants below exist
// once.
//
// The filter works on light, not on colour: the average divided by the
// colour of the surface the pixel sees (a sample is that colour times the
// light gathered there, plus a constant), so that neighbours of another
// colour can never bleed into a pixel and the colour comes back sharp when
// it is multiplied in again. Every lookup is a texelFetch of this pixel or of
// a neighbour inside the target.

#ifdef LAST_FILTER
#define FILTER
#endif

uniform sampler2D hit_color_texture;     // rgb = surface colour, a = material code
uniform sampler2D hit_position_texture;  // xyz = octree-space position, w = 1 on a surface
uniform sampler2D hit_normal_texture;    // xyz = unit normal

const vec3 luminance_weights = vec3(0.2126, 0.7152, 0.0722);
// A channel darker than this is divided by this instead. Nothing reflects
// in a black channel, so its light is the constant ambient term alone and
// the exact divisor does not matter, as long as the same one multiplies back.
const float albedo_floor = 0.01;

// Material codes as the path tracer reads them.
const float diffuse_code_max = 0.1;
const float emitter_code_min = 0.5;
const float emitter_code_max = 0.8;
const float mirror_code_min = 0.99;

ivec2 pixel() { return ivec2(gl_FragCoord.xy); }

// The part of the targets filtered, from their lower-left corner: all of
// them, or the moving picture's smaller part, whose neighbours beyond it
// belong to no picture.
uniform ivec2 region_size;

bool inside(ivec2 texel, ivec2 size) {
  return all(greaterThanEqual(texel, ivec2(0))) && all(lessThan(texel, size));
}

float luminance(vec3 colour) { return dot(colour, luminance_weights); }

vec3 albedo(vec4 hit_colour) { return max(hit_colour.rgb, vec3(albedo_floor)); }

// The filter compares neighbours through one packed texel each, which is
// what keeps a tap cheap:
//   x: material key (bits 0-15) and tangent-plane offset (bits 16-31),
//   y: normal, 10 bits a coordinate,
//   z: light red and green, w: light blue and its standard deviation, each
//      as the square root of its share of light_range in 16 bits (steps of
//      0.2% at the faintest light a surface gets, finer above).
// The key is 0 for pixels the filter leaves as they are: the background and
// the glowing objects have no noise to remove (an emitter's continuation is
// its mirror direction), and smoothing them would only soften their
// outlines. Other keys name the kind of material and its colour at a few
// bits a channel: two table entries that close look alike anyway.

uint materialKey(vec4 hit_colour, vec4 hit_position) {
  float code = hit_colour.a;
  if (hit_position.w < 1.0 || (code > emitter_code_min && code < emitter_code_max)) return 0u;
  uint kind = code < diffuse_code_max ? 1u : (code > mirror_code_min ? 3u : 2u);
  uvec3 bytes = uvec3(round(clamp(hit_colour.rgb, 0.0, 1.0) * 255.0));
  return kind | ((bytes.r >> 3) << 2) | ((bytes.g >> 3) << 7) | ((bytes.b >> 4) << 12);
}

// Octree positions lie in the unit cube, so a plane offset lies within +-2.
uint planeBits(float offset) {
  return uint(round(clamp((offset + 2.0) * 0.25, 0.0, 1.0) * 65535.0));
}

float planeOffset(uint bits) { return float(bits) / 65535.0 * 4.0 - 2.0; }

uint normalBits(vec3 n) {
  uvec3 bits = uvec3(round(clamp(n, -1.0, 1.0) * 511.0) + 511.0);
  return bits.x | (bits.y << 10) | (bits.z << 20);
}

vec3 unpackNormal(uint bits) {
  return (vec3(uvec3(bits, bits >> 10, bits >> 20) & 0x3FFu) - 511.0) / 511.0;
}

// A sample is at most 1, so light never exceeds 1 / albedo_floor.
const float light_range = 128.0;

uvec2 packLight(vec4 light) {
  vec4 root = sqrt(clamp(vec4(light.rgb, sqrt(max(light.a, 0.0))) / light_range, 0.0, 1.0));
  uvec4 bits = uvec4(round(root * 65535.0));
  return uvec2(bits.r | (bits.g << 16), bits.b | (bits.a << 16));
}

vec4 unpackLight(uvec4 texel) {
  vec4 root = vec4(uvec4(texel.z, texel.z >> 16, texel.w, texel.w >> 16) & 0xFFFFu) / 65535.0;
  vec4 value = root * root * light_range;
  return vec4(value.rgb, value.a * value.a);
}

#ifdef GATHER_MOMENTS
// Sums of the luminance of each sample's light and of its square, added by
// blending: the noise estimate of the prepare pass.
uniform sampler2D sample_texture;

out vec4 output0;

void main() {
  ivec2 p = pixel();
  vec3 light = texelFetch(sample_texture, p, 0).rgb / albedo(texelFetch(hit_color_texture, p, 0));
  float l = luminance(light);
  output0 = vec4(l, l * l, 0.0, 0.0);
}
#endif

#ifdef PREPARE
// The average's light (rgb) and the variance of its luminance (a): how far
// the average may still be from the converged value. Written exactly and
// packed with the guide for the filter passes.
uniform sampler2D sum_texture;
uniform sampler2D moments_texture;
uniform float inv_num_samples;  // 1 / samples in the sum
uniform float moment_count;     // samples in the moments
// When set, the variance comes from variance_texture instead (z = the
// samples' weight behind its moments, w = the variance of the pixel's
// luminance): a picture that carries samples from earlier views knows its
// noise from their moments.
uniform bool given_variance;
uniform sampler2D variance_texture;
out vec4 output0;
out uvec4 output1;

// Below this many samples the spread of a pixel's own samples says little;
// the spread of its neighbours on the same surface stands in for it.
const float min_moment_count = 4.0;
const int spatial_radius = 2;
const int variance_radius = 2;

vec3 averageLight(ivec2 p) {
  return texelFetch(sum_texture, p, 0).rgb * inv_num_samples /
         albedo(texelFetch(hit_color_texture, p, 0));
}

// Variance of one sample from the moments, divided by the number of
// samples averaged. A few samples give a rough estimate, so it is spread
// over the neighbours by a tent of variance_radius pixels.
float temporalVariance(ivec2 p, ivec2 size) {
  float variance = 0.0;
  float weights = 0.0;
  for (int dy = -variance_radius; dy <= variance_radius; ++dy) {
    for (int dx = -variance_radius; dx <= variance_radius; ++dx) {
      ivec2 q = p + ivec2(dx, dy);
      vec2 moments = texelFetch(moments_texture, clamp(q, ivec2(0), size - 1), 0).xy / moment_count;
      float w = inside(q, size)
                    ? float((variance_radius + 1 - abs(dx)) * (variance_radius + 1 - abs(dy)))
                    : 0.0;
      variance += w * max(moments.y - moments.x * moments.x, 0.0);
      weights += w;
    }
  }
  float bessel = moment_count / (moment_count - 1.0);
  return variance / weights * bessel * inv_num_samples;
}

// The given variance, spread over the neighbours as temporalVariance does.
float givenVariance(ivec2 p, ivec2 size) {
  float variance = 0.0;
  float weights = 0.0;
  for (int dy = -variance_radius; dy <= variance_radius; ++dy) {
    for (int dx = -variance_radius; dx <= variance_radius; ++dx) {
      ivec2 q = p + ivec2(dx, dy);
      float w = inside(q, size)
                    ? float((variance_radius + 1 - abs(dx)) * (variance_radius + 1 - abs(dy)))
                    : 0.0;
      variance += w * texelFetch(variance_texture, clamp(q, ivec2(0), size - 1), 0).w;
      weights += w;
    }
  }
  return variance / weights;
}

// Spread of the averages of neighbours that lie on the same surface.
float spatialVariance(ivec2 p, ivec2 size, uint key, vec3 normal) {
  float sum = 0.0;
  float squares = 0.0;
  float count = 0.0;
  for (int dy = -spatial_radius; dy <= spatial_radius; ++dy) {
    for (int dx = -spatial_radius; dx <= spatial_radius; ++dx) {
      ivec2 q = p + ivec2(dx, dy);
      if (!inside(q, size)) continue;
      vec4 hit_colour = texelFetch(hit_color_texture, q, 0);
      if (materialKey(hit_colour, texelFetch(hit_position_texture, q, 0)) != key ||
          dot(texelFetch(hit_normal_texture, q, 0).xyz, normal) < 0.9)
        continue;
      float l = luminance(averageLight(q));
      sum += l;
      squares += l * l;
      count += 1.0;
    }
  }
  count = max(count, 1.0);
  float mean = sum / count;
  return max(squares / count - mean * mean, 0.0) * count / max(count - 1.0, 1.0);
}

void main() {
  ivec2 p = pixel();
  ivec2 size = region_size;
  vec4 hit_position = texelFetch(hit_position_texture, p, 0);
  vec3 normal = texelFetch(hit_normal_texture, p, 0).xyz;
  uint key = materialKey(texelFetch(hit_color_texture, p, 0), hit_position);
  float variance;
  if (given_variance) {
    variance = texelFetch(variance_texture, p, 0).z >= min_moment_count
                   ? givenVariance(p, size)
                   : spatialVariance(p, size, key, normal);
  } else {
    variance = moment_count >= min_moment_count ? temporalVariance(p, size)
                                                : spatialVariance(p, size, key, normal);
  }
  vec4 light = vec4(averageLight(p), variance);
  output0 = light;
  // The plane goes with the normal as the filter will read it, so that a
  // surface lies exactly in its own plane.
  uint normal_bits = normalBits(normal);
  float plane = dot(unpackNormal(normal_bits), hit_position.xyz);
  output1 = uvec4(key | (planeBits(plane) << 16), normal_bits, packLight(light));
}
#endif

#ifdef FILTER
// One pass of the edge-avoiding a-trous wavelet filter: a 3x3 B-spline
// kernel whose taps lie step_size pixels apart, each weighted by how well
// the neighbour's first hit matches this pixel's and how plausible its light
// is given this pixel's noise. The variance is carried along, so every pass
// knows the noise that is left.
uniform usampler2D packed_texture;  // from the previous pass
uniform int step_size;

#ifdef LAST_FILTER
// The last pass applies the change to this pixel's exact light rather than
// to its packed form, so that where nothing is smoothed the average comes
// back unchanged, and multiplies the surface colour back in.
uniform sampler2D exact_light_texture;
out vec4 output0;
#else
out uvec4 output0;
#endif

const float kernel[2] = float[2](1.0 / 2.0, 1.0 / 4.0);
// A neighbour whose tangent plane passes far from this pixel lies on another
// surface, in front or behind. The distance is measured against the way to
// the neighbour along the surface (in footprints of this pixel), so that it
// means the same near and far; the tolerance covers the 16-bit positions.
const float plane_slope = 0.1;
const float position_tolerance = 0.0008;
// Light that differs by more than a few standard deviations of the noise is
// a real feature: a shadow, a reflection.
const float luminance_sigma = 4.0;

// Normals that differ are a crease. The weight falls with the squared
// distance between the normals, 2 - 2 cos (about the cosine to the power
// 16), and the stored normals need not be of unit length.
const float crease_sharpness = 8.0;

// World size of this pixel on its surface: the smaller step to a neighbour
// in its 2x2 block (where the other one lies on another object, it is the
// one that counts).
float footprint(vec3 position) {
  return max(min(length(dFdx(position)), length(dFdy(position))), 1e-6);
}

// The weighted sum of the neighbours' light minus this pixel's (rgb), the
// sum of their weights (a), and the sum of their variances weighted by the
// squared weights.
struct Neighbours {
  vec4 light;
  float variance;
};

Neighbours gather(ivec2 p, ivec2 size, uvec4 centre, vec4 centre_light, vec3 position,
                  float centre_footprint) {
  uint key = centre.x & 0xFFFFu;
  vec3 normal = unpackNormal(centre.y);
  float centre_luminance = luminance(centre_light.rgb);
  float inv_luminance_scale = 1.0 / (luminance_sigma * sqrt(centre_light.a) + 1e-6);
  float inv_along = 1.0 / (plane_slope * centre_footprint * float(step_size));
  Neighbours sum = Neighbours(vec4(0.0), 0.0);
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (dx == 0 && dy == 0) continue;
      ivec2 q = p + ivec2(dx, dy) * step_size;
      uvec4 neighbour = texelFetch(packed_texture, clamp(q, ivec2(0), size - 1), 0);
      bool usable = inside(q, size) && (neighbour.x & 0xFFFFu) == key;
      vec4 light = unpackLight(neighbour);
      vec3 neighbour_normal = unpackNormal(neighbour.y);
      vec3 crease = neighbour_normal - normal;
      float off_plane =
          max(abs(dot(neighbour_normal, position) - planeOffset(neighbour.x >> 16)) -
                  position_tolerance, 0.0);
      float difference = (luminance(light.rgb) - centre_luminance) * inv_luminance_scale;
      float w = (usable ? kernel[abs(dx)] * kernel[abs(dy)] : 0.0) *
                exp(-crease_sharpness * dot(crease, crease) -
                    off_plane * inv_along / length(vec2(dx, dy)) - 0.5 * difference * difference);
      sum.light += w * vec4(light.rgb - centre_light.rgb, 1.0);
      sum.variance += w * w * light.a;
    }
  }
  return sum;
}

void main() {
  ivec2 p = pixel();
  ivec2 size = region_size;
  uvec4 centre = texelFetch(packed_texture, p, 0);
  vec3 position = texelFetch(hit_position_texture, p, 0).xyz;
  // Derivatives are taken by the four pixels of a block together, so before
  // any branch.
  float centre_footprint = footprint(position);
  vec4 centre_light = unpackLight(centre);
  Neighbours neighbours = Neighbours(vec4(0.0), 0.0);
  if ((centre.x & 0xFFFFu) != 0u)
    neighbours = gather(p, size, centre, centre_light, position, centre_footprint);
  const float w0 = kernel[0] * kernel[0];
  float weights = w0 + neighbours.light.a;
  vec3 change = neighbours.light.rgb / weights;
#ifdef LAST_FILTER
  // What all the passes changed, added to the exact light instead of to its
  // packed form.
  vec4 exact = texelFetch(exact_light_texture, p, 0);
  vec3 packed_exact = unpackLight(uvec4(0u, 0u, packLight(exact))).rgb;
  vec3 light = exact.rgb + (centre_light.rgb + change - packed_exact);
  output0 = vec4(light * albedo(texelFetch(hit_color_texture, p, 0)), 0.0);
#else
  float variance = (w0 * w0 * centre_light.a + neighbours.variance) / (weights * weights);
  output0 = uvec4(centre.xy, packLight(vec4(centre_light.rgb + change, variance)));
#endif
}
#endif

#ifdef RECENTRE
// The samples of one primary pass were all taken at one sub-pixel offset,
// so until the sum holds many such passes its picture is shifted by their
// mean offset, and its edges are as jagged as a point sample makes them.
// Reading the picture where each pixel's centre lies among the samples
// (bilinearly, between the four nearest) undoes the shift and brings the
// edge pixels close to the shares of the two sides the converged picture
// gives them. Inside a surface, where the picture is smooth by now, it
// changes nothing visible.
uniform sampler2D picture_texture;
uniform vec2 mean_offset;  // of the samples, in pixels, each within +-0.5

out vec4 output0;

void main() {
  ivec2 size = textureSize(picture_texture, 0);
  vec2 at = vec2(pixel()) - mean_offset;
  ivec2 corner = ivec2(floor(at));
  vec2 f = at - vec2(corner);
  vec3 sum = vec3(0.0);
  float weights = 0.0;
  for (int dy = 0; dy <= 1; ++dy) {
    for (int dx = 0; dx <= 1; ++dx) {
      ivec2 q = corner + ivec2(dx, dy);
      vec2 share = mix(1.0 - f, f, vec2(dx, dy));
      float w = inside(q, size) ? share.x * share.y : 0.0;
      sum += w * texelFetch(picture_texture, clamp(q, ivec2(0), size - 1), 0).rgb;
      weights += w;
    }
  }
  output0 = vec4(sum / max(weights, 1e-6), 0.0);
}
#endif
