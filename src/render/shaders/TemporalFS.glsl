#version 330
// Samples carried from one view into the next. Each program is this file
// with one of REPROJECT, KEEP_GEOMETRY, RESOLVE, SMOOTH_EDGES or STRETCH
// defined right after the version line.
//
// The current view may have been traced at a lower resolution, into the
// lower-left view_size texels of the full-size targets: the moving picture.
// The passes then draw that part alone, and the history lives at the
// moving picture's size until a full-size view reprojects it, so that a
// drag costs what its own samples cost, however large the canvas.

uniform sampler2D hit_color_texture;     // rgb = surface colour, a = material code
uniform sampler2D hit_position_texture;  // xyz = octree-space position, w = 1 on a surface
uniform sampler2D hit_normal_texture;    // xyz = unit normal
uniform ivec2 view_size;                 // texels of the current view

const vec3 luminance_weights = vec3(0.2126, 0.7152, 0.0722);
// As the noise estimate divides it out: see the denoiser.
const float albedo_floor = 0.01;

ivec2 pixel() { return ivec2(gl_FragCoord.xy); }

bool inside(ivec2 texel, ivec2 size) {
  return all(greaterThanEqual(texel, ivec2(0))) && all(lessThan(texel, size));
}

// A sample that is not a finite number counts as none: one such value in a
// running sum would spoil the pixel for good. Written as a comparison that
// NaN fails, which no compiler may fold away.
bool finite(vec3 v) { return all(lessThanEqual(abs(v), vec3(1e30))); }

float luminance(vec3 colour) { return dot(colour, luminance_weights); }

// The variance of a luminance from its moments (mean, mean square).
float spread(vec2 moments) { return max(moments.y - moments.x * moments.x, 0.0); }

vec3 albedo(vec4 hit_colour) { return max(hit_colour.rgb, vec3(albedo_floor)); }

#ifdef REPROJECT
// The last picture, moved into the current view: for every pixel, where its
// surface point (a glossy one's reflection) lay in the last view, read there
// from the picture wherever the last view saw the same surface. Writes the
// history (rgb, a = weight in samples) and its luminance moments (xy, z =
// their weight in samples).
uniform sampler2D sample_texture;            // the current view's first sample
uniform sampler2D bounce_distance_texture;   // x = how far its first bounce went
uniform sampler2D last_picture_texture;      // rgb = the last picture
uniform sampler2D last_moments_texture;      // xy = luminance moments, z = their weight
uniform sampler2D last_position_texture;     // the hit buffers the picture was made for
uniform sampler2D last_normal_texture;       // xyz = normal, w = material code
uniform ivec2 last_size;                     // texels of the last view
uniform mat4 last_view_projection;           // world to clip, of the last view
// The sub-pixel offset the last view's rays were cast at: its pixel t holds
// what the ray through t + 0.5 + last_jitter saw.
uniform vec2 last_jitter;
uniform vec3 bb_offset;                      // octree space = (world + bb_offset) / bb_maxdim
uniform float bb_maxdim;
uniform vec3 eye;                            // in octree space
uniform float pixel_angle;                   // image-plane height of a current texel at distance 1
uniform float history_limit;                 // the most samples' weight the history may keep
uniform bool reflections_kept;               // for a picture shown without the denoiser

out vec4 output0;
out vec4 output1;

// A neighbour whose surface lies off this pixel's tangent plane by more than
// this many footprints of the pixel is another surface (in front or behind);
// the footprint grows with the distance, so the test means the same near and
// far. The constant part covers the 16-bit positions of the hit buffers.
const float plane_footprints = 0.5;
const float position_precision = 0.0005;
// Normals further apart than this cosine are a crease or another surface.
const float min_normal_cosine = 0.9;
// Material codes of one material agree exactly; apart, they are far apart.
const float code_tolerance = 0.004;
// History outside the current neighbourhood's mean plus or minus this many
// standard deviations is light that changed (the moving light, a glowing
// object that moved): it is pulled back into that range. The deviation is
// the larger of the new samples' spread around the pixel and the spread
// the carried samples had: light that reaches a surface in rare bright
// samples (a wall lit by the glowing letters) is missing from most single
// samples, and a range made of them alone would pull it down.
const float clamp_deviations = 1.5;
// Emitters (which glow by the angle they are seen at and continue along
// the mirror direction), glossy surfaces and mirrors: their light moves
// across the surface as the eye moves, so the last picture's light at the
// same surface point is another reflection, which no clamp of one sample's
// neighbourhood catches. Under the denoiser they keep no light from the
// last view, only its luminance moments: the noise of their samples, which
// the denoiser needs from the first one on. A picture shown raw keeps their
// light: there the noise costs more than the trails.
const float view_dependent_code_min = 0.5;
// Glossy surfaces are the exception: their light is a blurred reflection,
// and on a flat one (the floor) the reflected point lies behind the surface
// as far as the first bounce went. Where that point lay in the last view,
// the last picture saw the same reflection. The distance is one sample's,
// and curved glossy surfaces have no such point, so what is found there
// counts as a few samples at most. Mirrors' sharp reflections of curved
// baubles and emitters' glow, which stays on the surface, came out worse
// through that point than with no light kept. So did the first full-size
// view after a smaller moving picture, whose one stretched sample is a
// blurred reflection: that view keeps only the noise there. Where the last
// view did not see the reflection, the pixel starts afresh: falling back on
// the surface point's noise gained nothing and took a second lookup, which
// llvmpipe runs for every pixel of a group where one pixel needs it.
const float glossy_code_min = 0.8;
const float mirror_code_min = 0.99;
const float reflection_weight_limit = 4.0;

bool sameSurface(ivec2 q, vec3 position, vec3 normal, float code, float tolerance) {
  vec4 last_position = texelFetch(last_position_texture, q, 0);
  vec4 last_normal = texelFetch(last_normal_texture, q, 0);
  return last_position.w >= 1.0 && abs(dot(normal, last_position.xyz - position)) <= tolerance &&
         dot(last_normal.xyz, normal) >= min_normal_cosine &&
         abs(last_normal.w - code) <= code_tolerance;
}

// Mean and standard deviation of the current sample over the 3x3 texels
// around q, within the current view.
void neighbourhood(ivec2 q, out vec3 mean, out vec3 deviation) {
  vec3 sum = vec3(0.0);
  vec3 squares = vec3(0.0);
  float count = 0.0;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      ivec2 t = q + ivec2(dx, dy);
      if (!inside(t, view_size)) continue;
      vec3 s = texelFetch(sample_texture, t, 0).rgb;
      if (!finite(s)) continue;
      sum += s;
      squares += s * s;
      count += 1.0;
    }
  }
  count = max(count, 1.0);
  mean = sum / count;
  deviation = sqrt(max(squares / count - mean * mean, vec3(0.0)));
}

// Bilinear among the four nearest pixels of the last picture, around where
// `point` lay in the last view, that saw the surface at `position`.
// Returns the share of the four that did.
float lastPictureAt(vec3 point, vec3 position, vec3 normal, float code, float tolerance,
                    out vec3 colour, out vec3 moments) {
  colour = vec3(0.0);
  moments = vec3(0.0);
  vec4 clip = last_view_projection * vec4(point * bb_maxdim - bb_offset, 1.0);
  if (clip.w <= 0.0) return 0.0;  // behind the last camera
  ivec2 size = last_size;
  vec2 at = (clip.xy / clip.w * 0.5 + 0.5) * vec2(size) - 0.5 - last_jitter;
  ivec2 corner = ivec2(floor(at));
  vec2 f = at - vec2(corner);
  float weights = 0.0;
  for (int dy = 0; dy <= 1; ++dy) {
    for (int dx = 0; dx <= 1; ++dx) {
      ivec2 t = corner + ivec2(dx, dy);
      if (!inside(t, size) || !sameSurface(t, position, normal, code, tolerance)) continue;
      vec2 share = mix(1.0 - f, f, vec2(dx, dy));
      float w = share.x * share.y;
      colour += w * texelFetch(last_picture_texture, t, 0).rgb;
      moments += w * texelFetch(last_moments_texture, t, 0).xyz;
      weights += w;
    }
  }
  if (weights > 0.0) {
    colour /= weights;
    moments /= weights;
  }
  return weights;
}

void main() {
  output0 = vec4(0.0);
  output1 = vec4(0.0);
  ivec2 q = pixel();
  vec4 position = texelFetch(hit_position_texture, q, 0);
  if (position.w < 1.0) return;  // the background has no samples to keep
  vec3 normal = texelFetch(hit_normal_texture, q, 0).xyz;
  float code = texelFetch(hit_color_texture, q, 0).a;

  float footprint = length(position.xyz - eye) * pixel_angle;
  float tolerance = plane_footprints * footprint + position_precision;
  bool view_dependent = code > view_dependent_code_min;
  bool glossy = code > glossy_code_min && code <= mirror_code_min;
  vec3 point = position.xyz;
  bool light_kept = !view_dependent || reflections_kept;
  float weight_limit = history_limit;
  if (glossy && !reflections_kept && last_size == view_size) {
    float depth = texelFetch(bounce_distance_texture, q, 0).x;
    if (!finite(vec3(depth))) depth = 0.0;
    point += normalize(position.xyz - eye) * depth;
    light_kept = true;
    weight_limit = min(history_limit, reflection_weight_limit);
  }
  vec3 colour, moments;
  float weights = lastPictureAt(point, position.xyz, normal, code, tolerance, colour, moments);
  if (weights < 0.01) return;
  vec3 mean, deviation;
  neighbourhood(q, mean, deviation);
  // The moments are of the light's luminance; the surface colour turns
  // their spread into the picture's.
  float carried_variance = spread(moments.xy);
  deviation = max(deviation, sqrt(carried_variance) * albedo(texelFetch(hit_color_texture, q, 0)));
  colour = clamp(colour, mean - clamp_deviations * deviation, mean + clamp_deviations * deviation);
  // Where only some of the four texels saw the surface (at every edge),
  // those keep their whole weight: they lie on it, a pixel away at most.
  // Halving it, every frame, held the edges of a moving picture at a
  // sample or two.
  float weight = min(moments.z, weight_limit);
  output0 = vec4(colour, light_kept ? weight : 0.0);
  output1 = vec4(moments.xy, weight, 0.0);
}
#endif

#ifdef KEEP_GEOMETRY
// The current view's hit buffers: what the next view
// compares its surfaces with (the normal carries the material code along),
// and the denoiser's guide, which reads the normal's xyz alone.
out vec4 output0;
out vec4 output1;
out vec4 output2;

void main() {
  ivec2 q = pixel();
  output0 = texelFetch(hit_position_texture, q, 0);
  vec4 colour = texelFetch(hit_color_texture, q, 0);
  output1 = vec4(texelFetch(hit_normal_texture, q, 0).xyz, colour.a);
  output2 = colour;
}
#endif

#ifdef RESOLVE
// The picture shown: the history weighted by history_fade (which falls to 0
// as samples of this view accumulate, so that the picture becomes their
// plain average) together with the sum of this view's samples. Also the
// luminance moments of the light and the variance of the picture's
// luminance, which tells the denoiser the noise from the first sample on.
uniform sampler2D history_texture;          // rgb, a = weight
uniform sampler2D history_moments_texture;  // xy, z = their weight
uniform sampler2D sum_texture;              // this view's samples, summed
uniform sampler2D moments_texture;          // sums of their light's luminance and its square
uniform float num_samples;
uniform float moment_count;                 // 0 when the sums do not hold every sample
uniform float history_fade;

out vec4 output0;
out vec4 output1;

// The moments carried from earlier views overstate the noise: each lookup
// between texels blends neighbours' moments, which adds the spread of
// their averages, and they hold the light's change from frame to frame (the
// moving light, reflections moving over their surfaces). Given them whole,
// the denoiser blurred a moving picture's detail. They count at this share
// of their spread, the best along the video's path. The moments of the
// view's own samples count whole, as in a view that carries nothing, so a
// picture at rest comes back to the noise its own samples show. A moving
// picture drawn smaller than the targets keeps the carried moments whole:
// stretched over the canvas, a bright sample that the denoiser no longer
// smooths away showed as a blob of several pixels, frame after frame.
const float carried_noise_share = 0.25;

// The spread of the light's luminance over the carried samples (moments
// `carried`, weight `wm`, counted at `share` of their spread) and the
// view's own (sums `own`, count `m`), pooled from the spread within each
// and the spread between their means: a new sample far from the carried
// mean (a single bright one off a glossy floor) counts whole, so the
// denoiser still smooths it away. wm + m must be above 0.
float lightSpread(vec2 carried, float wm, float share, vec2 own, float m) {
  float within_carried = share * spread(carried);
  if (m <= 0.0) return within_carried;
  vec2 own_mean = own / m;
  float within_own = spread(own_mean);
  float apart = own_mean.x - carried.x;
  float between = apart * apart * wm * m / (wm + m);
  return (wm * within_carried + m * within_own + between) / (wm + m);
}

void main() {
  ivec2 p = pixel();
  vec4 history = texelFetch(history_texture, p, 0);
  vec3 history_moments = texelFetch(history_moments_texture, p, 0).xyz;
  vec3 sum = texelFetch(sum_texture, p, 0).rgb;
  vec2 sum_moments = texelFetch(moments_texture, p, 0).xy;
  float w = history.a * history_fade;
  float wm = history_moments.z * history_fade;
  float n = num_samples;
  float m = moment_count;
  if (!finite(sum)) {
    sum = vec3(0.0);
    n = 0.0;
  }
  if (!finite(vec3(sum_moments, 0.0))) {
    sum_moments = vec2(0.0);
    m = 0.0;
  }
  float weight = w + n;
  vec3 colour = weight > 0.0 ? (w * history.rgb + sum) / weight : vec3(0.0);
  vec2 moments;
  if (wm + m > 0.0) {
    moments = (wm * history_moments.xy + sum_moments) / (wm + m);
  } else {
    float l = luminance(colour / albedo(texelFetch(hit_color_texture, p, 0)));
    moments = vec2(l, l * l);
  }
  bool full_size = all(equal(view_size, textureSize(history_texture, 0)));
  float share = full_size ? carried_noise_share : 1.0;
  float light_spread = wm + m > 0.0 ? lightSpread(history_moments.xy, wm, share, sum_moments, m) : spread(moments);
  float variance = light_spread / max(weight, 1.0);
  // Alpha as the path tracer writes it, so that the shown picture matches
  // the plain average's also there.
  output0 = vec4(colour, 0.0);
  // The weight the next view carries counts this view's samples even where
  // the moments miss some (the denoiser switched on mid-view), or the
  // next view would keep no light at all.
  output1 = vec4(moments, wm + n, variance);
}
#endif

#ifdef SMOOTH_EDGES
// A moving view's denoised picture, blended with the last one shown, moved
// into this view and kept within the range of this picture's 3x3
// neighbours. Light carried across views never crosses an edge, so a view
// of one sample has edges as jagged as one ray a pixel makes them, and its
// reflections show one sample's noise; the picture before, cast at another
// sub-pixel offset with other samples, softens both. A short blend: a longer
// one softens the edges again with every lookup between texels. The
// neighbourhood of a denoised picture is tight, so what moved or changed
// leaves no trail.
uniform sampler2D picture_texture;     // the denoised picture, at the pixels' centres
uniform sampler2D last_shown_texture;  // the last picture this pass wrote
uniform mat4 last_view_projection;     // world to clip, of the last picture's view
// The sub-pixel offset of the current view's rays: its hit buffers hold
// what the ray through q + 0.5 + jitter saw.
uniform vec2 jitter;
uniform vec3 bb_offset;                // octree space = (world + bb_offset) / bb_maxdim
uniform float bb_maxdim;
uniform float last_share;              // of the last picture, where it is in range

out vec4 output0;

// Catmull-Rom among the 4x4 nearest texels, which softens less than
// bilinear filtering.
vec4 catmullRomWeights(float f) {
  float f2 = f * f;
  float f3 = f2 * f;
  return vec4(-0.5 * f3 + f2 - 0.5 * f, 1.5 * f3 - 2.5 * f2 + 1.0, -1.5 * f3 + 2.0 * f2 + 0.5 * f,
              0.5 * f3 - 0.5 * f2);
}

vec3 catmullRom(sampler2D picture, vec2 at) {
  ivec2 corner = ivec2(floor(at));
  vec2 f = at - vec2(corner);
  vec4 wx = catmullRomWeights(f.x);
  vec4 wy = catmullRomWeights(f.y);
  vec3 sum = vec3(0.0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      ivec2 t = clamp(corner + ivec2(x - 1, y - 1), ivec2(0), view_size - 1);
      sum += wx[x] * wy[y] * texelFetch(picture, t, 0).rgb;
    }
  }
  return sum;
}

void main() {
  ivec2 q = pixel();
  vec3 current = texelFetch(picture_texture, q, 0).rgb;
  output0 = vec4(current, 0.0);
  vec4 position = texelFetch(hit_position_texture, q, 0);
  if (position.w < 1.0 || !(last_share > 0.0)) return;
  vec4 clip = last_view_projection * vec4(position.xyz * bb_maxdim - bb_offset, 1.0);
  if (clip.w <= 0.0) return;
  // Where this pixel's centre lay in the last view: where the jittered
  // ray's surface point lay, less the jitter.
  vec2 at = (clip.xy / clip.w * 0.5 + 0.5) * vec2(view_size) - 0.5 - jitter;
  if (any(lessThan(at, vec2(-0.5))) || any(greaterThan(at, vec2(view_size) - 0.5))) return;
  vec3 low = current;
  vec3 high = current;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      ivec2 t = q + ivec2(dx, dy);
      if (!inside(t, view_size)) continue;
      vec3 c = texelFetch(picture_texture, t, 0).rgb;
      low = min(low, c);
      high = max(high, c);
    }
  }
  vec3 last = catmullRom(last_shown_texture, at);
  if (!finite(last)) return;
  output0 = vec4(mix(current, clamp(last, low, high), last_share), 0.0);
}
#endif

#ifdef STRETCH
// A moving picture, drawn smaller into the lower-left picture_size texels of
// its texture, over the whole window: bilinear between its texels, where
// nearest filtering would show blocks many pixels wide. Reads inside the
// part alone; the texels past its edge hold older pictures.
uniform sampler2D picture_texture;
uniform ivec2 picture_size;
uniform vec2 window_size;

out vec4 output0;

void main() {
  vec2 at = gl_FragCoord.xy / window_size * vec2(picture_size) - 0.5;
  at = clamp(at, vec2(0.0), vec2(picture_size - 1));
  ivec2 corner = ivec2(at);
  ivec2 far = min(corner + 1, picture_size - 1);
  vec2 f = at - vec2(corner);
  vec4 bottom = mix(texelFetch(picture_texture, corner, 0),
                    texelFetch(picture_texture, ivec2(far.x, corner.y), 0), f.x);
  vec4 top = mix(texelFetch(picture_texture, ivec2(corner.x, far.y), 0),
                 texelFetch(picture_texture, far, 0), f.x);
  output0 = mix(bottom, top, f.y);
}
#endif
