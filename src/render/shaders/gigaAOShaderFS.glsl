#version 330
#extension GL_EXT_gpu_shader4 : enable
precision highp float;

// One path per pixel and frame, starting from the primary hit buffers:
// bounces through the octree gather emitted light, sky light and a constant
// ambient term into one colour sample. The pixel's random state is written
// back for the next frame.
//
// ONE_BOUNCE (defined right after the version line) follows a single bounce
// and stands in for the second one with a fixed grey estimate.

in vec2 tex_c;

uniform vec2 screen_dim;
uniform vec3 A;
uniform vec3 B;
uniform vec3 C;
uniform vec3 camera_position;
uniform float stepsize;
uniform vec3 light_pos;

uniform usampler3D node_pool_texture;
uniform usampler2D triangle_id_texture;
uniform sampler2D triangle_texture;
uniform sampler2D triangle_normal_texture;
uniform sampler2D hit_position_texture;
uniform sampler2D hit_normal_texture;
uniform sampler2D hit_color_texture;
uniform sampler2D random_texture;
uniform sampler1D brdf_texture;

uniform float inv_node_pool_dim;
uniform float inv_triangle_id_tex_size;
uniform float inv_triangle_tex_size;
uniform uint triangle_id_tex_size;
uniform uint triangle_tex_size;

out vec4 output0;
out vec4 output1;
// x = how far the first bounce went (octree units): how deep a reflection
// lies behind the surface, which the samples carried into the next view
// follow. Drawn only where the renderer attaches a target for it.
out vec4 output2;

const float hit_offset_eps = 0.0005;
const float ambient_light = 0.05;
#ifdef ONE_BOUNCE
const int ray_max_depth = 1;
// Stands in for the reflectance of the surface the second bounce would meet.
const vec3 second_bounce_colour = vec3(0.25);
#else
const int ray_max_depth = 2;
const vec3 second_bounce_colour = vec3(0.0);
#endif
const float eps = 0.000001;
const float eps2 = 0.001;
const float tri_eps = 0.0001;
const float min_hit_distance = 0.001;
// A bounce that leaves the box (whose side is 1): as good as infinitely far.
const float escaped_bounce_distance = 4.0;
const int bounce_iterations = 32;
const float bounce_length = 1.0;
const float pi = 3.141592;
const float scene_dim = 1024.0;
const float inv_scene_dim = 1.0 / 1024.0;
const float hit_slack = 0.001;
const float no_hit_distance = 1024.0;
const vec3 sky_colour = vec3(0.85, 0.85, 1.25);

const uint node_mask_0 = 511u;
const uint node_mask_10 = 1047552u;
const uint node_mask_20 = 1072693248u;
const uint node_mask_30 = 1073741824u;
const uint node_tri_id_mask_x = 0x0000FFFFu;
const uint node_tri_id_mask_y = 0xFFFF0000u;

// The octree build stops at depth 9; a descent that goes further can only
// come from a node word pointing back up the tree.
const int max_octree_depth = 9;

// Four multiplicative congruential lanes, n <- a n mod m, combined into one
// number in [0, 1). Schrage's decomposition keeps every intermediate below
// 2^24, where single-precision floats are still exact integers.
float GPURnd(inout vec4 n) {
  const vec4 a = vec4(3423.0, 2646.0, 1707.0, 1999.0);
  const vec4 m = vec4(4194287.0, 4194277.0, 4194191.0, 4194167.0);
  const vec4 q = vec4(1225.0, 1585.0, 2457.0, 2098.0);
  const vec4 r = vec4(1112.0, 367.0, 92.0, 265.0);
  vec4 beta = floor(n / q);
  vec4 p = a * (n - beta * q) - beta * r;
  // m is added to negative products; a zero product becomes m / 2, so a lane
  // that starts at zero still leaves zero.
  n = p + (sign(-p) + 1.0) * 0.5 * m;
  return fract(n.x / m.x - n.y / m.y + n.z / m.z - n.w / m.w);
}

vec3 getInvRayDir(vec3 d) {
  return vec3(d.x != 0.0 ? 1.0 / d.x : eps,
              d.y != 0.0 ? 1.0 / d.y : eps,
              d.z != 0.0 ? 1.0 / d.z : eps);
}

float RayBoxIntersectionMax(vec3 BBMin, vec3 BBMax, vec3 o, vec3 inv) {
  vec3 hi = max((BBMin - o) * inv, (BBMax - o) * inv);
  return min(min(hi.x, hi.y), hi.z);
}

// Moeller-Trumbore; returns (t, u, v), or t = -1 when the ray misses.
vec3 RayTriangleIntersection(vec3 o, vec3 d, vec3 v0, vec3 e1, vec3 e2) {
  vec3 tvec = o - v0;
  vec3 pvec = cross(d, e2);
  float inv_det = 1.0 / dot(e1, pvec);
  float u = dot(tvec, pvec) * inv_det;
  if (u < -tri_eps || u > 1.0 + tri_eps) return vec3(-1.0);
  vec3 qvec = cross(tvec, e1);
  float v = dot(d, qvec) * inv_det;
  if (v < -tri_eps || u + v > 1.0 + tri_eps) return vec3(-1.0);
  return vec3(dot(e2, qvec) * inv_det, u, v);
}

// The uniforms the loops read, copied once per pixel. The zero added to
// them, which no compiler can prove to be zero (window coordinates are never
// negative), keeps the copies in registers: otherwise a software renderer
// may read a uniform again, lane by lane, at every use inside the loops. They
// are all positive, and a positive value plus +0.0 keeps every bit.
float step_size;
float node_texel_size;
float id_texel_size;
float triangle_texel_size;
uint id_width;
uint triangle_width;

void readUniforms() {
  float zero = min(gl_FragCoord.x, 0.0);
  step_size = stepsize + zero;
  node_texel_size = inv_node_pool_dim + zero;
  id_texel_size = inv_triangle_id_tex_size + zero;
  triangle_texel_size = inv_triangle_tex_size + zero;
  id_width = triangle_id_tex_size + uint(zero);
  triangle_width = triangle_tex_size + uint(zero);
}

// Texels are looked up at their lower corner in normalised coordinates, with
// nearest filtering and level 0: the sizes are powers of two, so the
// coordinate is exact and selects that very texel. A software renderer does
// this in about half the work of an integer texel fetch, which it runs
// through a mip level of its own for every pixel.
//
// A corrupt word or reference must never reach past the data: the scene
// textures clamp to a border of zeros, so a texel outside reads as 0 (its
// coordinate is below 0 or at least 1), which is what the march takes for no
// node and no triangle. An RGB texture's border reads with alpha 1, so only
// the corners' xyz are read.
uint nodeAt(ivec3 texel) {
  return textureLod(node_pool_texture, vec3(texel) * node_texel_size, 0.0).r;
}

uint triangleIdAt(ivec2 texel) {
  return textureLod(triangle_id_texture, vec2(texel) * id_texel_size, 0.0).r;
}

vec3 triangleCorner(ivec2 texel) {
  return textureLod(triangle_texture, vec2(texel) * triangle_texel_size, 0.0).xyz;
}

vec4 normalTexel(ivec2 texel) {
  return textureLod(triangle_normal_texture, vec2(texel) * triangle_texel_size, 0.0);
}

// Runs of texels continue on the next row once past the last column.
ivec2 nextTexel(ivec2 texel, uint width) {
  texel.x += 1;
  if (uint(texel.x) >= width) {
    texel.x -= int(width);
    texel.y += 1;
  }
  return texel;
}

ivec2 runTexel(uint column, uint row, uint offset, uint width) {
  uint x = column + offset;
  uint y = row;
  if (x >= width) {
    x -= width;
    y += 1u;
  }
  return ivec2(int(x), int(y));
}

bool isLeaf(uint node) { return (node & 0x80000000u) != 0u; }
bool isEmpty(uint node) { return (node & node_mask_30) != 0u; }

// A node the descent goes on from: neither leaf nor empty, above the depth
// bound.
bool isInternal(uint node, int depth) {
  return depth < max_octree_depth && !isLeaf(node) && !isEmpty(node);
}

uvec3 nodeFields(uint node) {
  return uvec3(node & node_mask_0, (node & node_mask_10) >> 10, (node & node_mask_20) >> 20);
}

ivec2 triangleTexelOf(uint entry) {
  return ivec2(int(entry & node_tri_id_mask_x), int((entry & node_tri_id_mask_y) >> 16));
}

// The nodes from the root down to the cell the last descent reached, and
// that cell's place (see the primary-ray shader, which explains why this
// descent finds exactly the cell and node of a descent from the root).
const int finest_cells = 512;  // cells per axis at the depth bound
uint path_nodes[max_octree_depth + 1];
int path_depth;
ivec3 path_cell;  // coordinates of the last point in cells of the finest size

void startPath(uint root) {
  path_nodes[0] = root;
  path_depth = 0;
  path_cell = ivec3(0);
}

// Leading bits that two coordinates in [0, 512) share, out of nine.
int sharedLevels(ivec3 a, ivec3 b) {
  ivec3 d = a ^ b;
  int differing = d.x | d.y | d.z;
  if (differing == 0) return max_octree_depth;
  // The exponent of the float is the position of the highest set bit.
  int highest_bit = (floatBitsToInt(float(differing)) >> 23) - 127;
  return max_octree_depth - 1 - highest_bit;
}

// Walks to the cell that holds p from the deepest node of the last path
// that also holds it; the depth bound ends any descent.
uint descend(vec3 p, out vec3 box_min, out float cell) {
  ivec3 fine = clamp(ivec3(p * float(finest_cells)), ivec3(0), ivec3(finest_cells - 1));
  int depth = min(path_depth, sharedLevels(fine, path_cell));
  // Chosen and stored by comparison rather than indexed by depth, which
  // differs from pixel to pixel: the array then stays in registers instead
  // of memory that a group of pixels reads and writes lane by lane.
  uint node = path_nodes[0];
  for (int k = 1; k <= max_octree_depth; ++k) {
    if (k == depth) node = path_nodes[k];
  }
  // The loops of the march test at the bottom, after a test on the way in:
  // where a group of pixels runs in step, a loop that tests at the top runs
  // its body once more, for none of them, before it ends.
  if (isInternal(node, depth)) {
    do {
      ivec3 child = (fine >> (max_octree_depth - 1 - depth)) & 1;
      node = nodeAt(ivec3(nodeFields(node)) + child);
      ++depth;
      for (int k = 1; k <= max_octree_depth; ++k) {
        if (k == depth) path_nodes[k] = node;
      }
    } while (isInternal(node, depth));
  }
  path_depth = depth;
  path_cell = fine;
  int below = max_octree_depth - depth;  // levels under the cell reached
  cell = float(1 << below) / float(finest_cells);
  box_min = vec3((fine >> below) << below) / float(finest_cells);
  return node;
}

// Whole steps keep the march on its lattice; counted in float so that a
// huge exit distance cannot overflow an integer.
void advanceWholeSteps(float advance, vec3 step, inout vec3 p, inout float len) {
  float k = ceil(advance / step_size);
  p += step * k;
  len += step_size * k;
}

bool outsideInnerCube(vec3 p) {
  return any(lessThan(p, vec3(eps2))) || any(greaterThan(p, vec3(1.0 - eps2)));
}

// The tests at the top of every step of a bounce march: the iteration
// budget, the inner cube, the length. NaN lengths march on, as they did
// when the test was written as a break on len > max_len.
bool marchGoesOn(int i, vec3 p, float len, float max_len) {
  return i < bounce_iterations && !outsideInnerCube(p) && !(len > max_len);
}

// Marches a bounce ray from start; on a hit returns the point, the
// interpolated normal and the material's table entry (rgb colour, a code).
bool rayHit(vec3 start, vec3 dir, vec3 inv, float max_len,
            out vec3 position, out vec3 normal, out vec4 entry) {
  position = vec3(0.0);
  normal = vec3(0.0);
  entry = vec4(0.0);
  vec3 p = start;
  float len = 0.0;
  vec3 step = dir * stepsize;
  vec3 start_tri = start * scene_dim;

  // The nearest triangle of the leaf that holds the hit: (t, u, v) and its
  // first texel. The hit is finished after the march.
  bool found = false;
  vec3 best = vec3(no_hit_distance, 0.0, 0.0);
  ivec2 best_texel = ivec2(0);

  // Two loops, as in the primary-ray shader: the inner one skips cells
  // without triangles, the outer one tests the leaf it stopped at.
  int i = 0;
  for (;;) {
    vec3 box_min;
    vec3 box_max;
    float cell;
    uint node = 0u;
    bool at_leaf = false;
    if (marchGoesOn(i, p, len, max_len)) {
      do {
        node = descend(p, box_min, cell);
        box_max = box_min + cell;
        if (isLeaf(node)) {
          at_leaf = true;
          break;
        }
        float advance = max(step_size, RayBoxIntersectionMax(box_min, box_max, p, inv));
        advanceWholeSteps(advance, step, p, len);
        ++i;
      } while (marchGoesOn(i, p, len, max_len));
    }
    if (!at_leaf) break;

    // Exit and triangle distances are both measured from the ray's start.
    float t_exit = max(0.0, RayBoxIntersectionMax(box_min, box_max, start, inv));
    uvec3 f = nodeFields(node);
    best = vec3(no_hit_distance, 0.0, 0.0);
    best_texel = ivec2(0);
    if (f.x > 0u) {
      // Each pass reads the next triangle's reference while it tests this
      // one: the corners' lookups wait for their reference, and reading one
      // ahead lets the two lookups overlap. The read past the end of the run
      // lands on the next texel or on the border and goes unused.
      uint j = 0u;
      uint id = triangleIdAt(runTexel(f.y, f.z, j, id_width));
      do {
        uint next_id = triangleIdAt(runTexel(f.y, f.z, j + 1u, id_width));
        ivec2 corner = triangleTexelOf(id);
        ivec2 corner1 = nextTexel(corner, triangle_width);
        ivec2 corner2 = nextTexel(corner1, triangle_width);
        vec3 v0 = triangleCorner(corner);
        vec3 v1 = triangleCorner(corner1);
        vec3 v2 = triangleCorner(corner2);
        vec3 h = RayTriangleIntersection(start_tri, dir, v0, v1 - v0, v2 - v0);
        h.x *= inv_scene_dim;
        // Hits this close belong to the surface the ray leaves from.
        if (h.x > min_hit_distance && h.x < best.x) {
          best = h;
          best_texel = corner;
        }
        id = next_id;
        ++j;
      } while (j < f.x);
    }
    if (best.x < t_exit + hit_slack) {
      found = true;
      break;
    }
    advanceWholeSteps(max(step_size, t_exit - len), step, p, len);
    ++i;
  }

  if (found) {
    ivec2 texel1 = nextTexel(best_texel, triangle_width);
    ivec2 texel2 = nextTexel(texel1, triangle_width);
    vec4 n0 = normalTexel(best_texel);
    vec3 n1 = normalTexel(texel1).xyz;
    vec3 n2 = normalTexel(texel2).xyz;
    position = start + dir * best.x;
    normal = normalize(n0.xyz + (n1 - n0.xyz) * best.y + (n2 - n0.xyz) * best.z);
    // One level, nearest filtering: the same entry at any level of detail,
    // without derivatives, which a branch of the march does not have.
    entry = textureLod(brdf_texture, n0.w, 0.0);
  }
  return found;
}

bool isDiffuseBRDF(float b) { return b < 0.1; }

float emmitance(float b) { return (b > 0.5 && b < 0.8) ? (b - 0.5) * 24.0 : 0.0; }

float glossiness(float b) { return (b - 0.8) * 1000.0; }

vec3 tangent(vec3 n) {
  vec3 c = n;
  vec3 a = abs(n);
  if (a.x < a.y && a.x < a.z) {
    c.x = 1.0;
  } else if (a.y < a.z) {
    c.y = 1.0;
  } else {
    c.z = 1.0;
  }
  return normalize(cross(c, n));
}

// Local frame whose y axis is n.
vec3 along(vec3 v, vec3 n) {
  vec3 t = tangent(n);
  vec3 s = cross(t, n);
  return v.x * t + v.y * n + v.z * s;
}

// Continuation direction at a surface hit from direction I: a cosine-
// weighted bounce about N for diffuse codes (and for codes from 0.1 to 0.5,
// which belong to no kind: the glossy lobe has no valid exponent for them),
// the mirror direction R for mirrors and emitters, otherwise a Phong lobe
// about R, not clipped to the hemisphere. Both lobes draw the same two
// numbers and share the angle; where every lane of a group runs both sides
// of a branch, drawing and turning once halves the work.
vec3 nextDirection(vec3 N, float b, vec3 I, bool emits, inout vec4 rnd) {
  bool diffuse = isDiffuseBRDF(b) || b <= 0.5;
  vec3 R = reflect(I, N);
  if (!diffuse && (b > 0.99 || emits)) return R;
  float rnd1 = GPURnd(rnd);
  float rnd2 = GPURnd(rnd);
  float phi = 2.0 * pi * rnd1;
  float sin_phi = sin(phi);
  float cos_phi = cos(phi);
  vec3 v;
  if (diffuse) {
    float r = sqrt(rnd2);
    float x = r * sin_phi;
    float z = r * cos_phi;
    // Rounding can push x^2 + z^2 a hair above 1.
    v = vec3(x, sqrt(max(0.0, 1.0 - x * x - z * z)), z);
  } else {
    float g = glossiness(b);
    float st = sqrt(max(0.0, 1.0 - pow(rnd2, 2.0 / (g + 1.0))));
    v = vec3(sin_phi * st, pow(rnd2, 1.0 / (g + 1.0)), cos_phi * st);
  }
  return normalize(along(v, diffuse ? N : R));
}

vec3 skyLight(vec3 dir) {
  return sky_colour * max(dot(normalize(vec3(-0.25, 1.0, -0.2)), dir), 0.0);
}

void main() {
  readUniforms();
  vec4 rnd = texture(random_texture, tex_c);
  vec4 hit = texture(hit_position_texture, tex_c);
#ifdef ONE_BOUNCE
  // One step per frame whatever the pixel draws: the draws below work on
  // their own copy.
  vec4 state_out = rnd;
  GPURnd(state_out);
#endif
  float xf = gl_FragCoord.x / screen_dim.x;
  float yf = gl_FragCoord.y / screen_dim.y;

  if (hit.w < 1.0) {
    output0 = vec4(0.1, 0.1 + yf * 0.05, yf * 0.35, 0.0);
    output2 = vec4(0.0);
#ifdef ONE_BOUNCE
    output1 = state_out;
#else
    output1 = rnd;
#endif
    return;
  }

  vec3 E = normalize(C + A * xf + B * yf - camera_position);
  vec3 N0 = texture(hit_normal_texture, tex_c).xyz;
  vec4 H = texture(hit_color_texture, tex_c);
  float e0 = emmitance(H.a);

  vec3 L0 = vec3(ambient_light);
  if (e0 > 0.0) L0 = H.rgb * e0 * max(dot(N0, -E), 0.0) * 0.75;

  // light_pos stays in world units here: the nudge only needs some
  // direction off the surface, and 0.0005 is too small to matter.
  vec3 origin = hit.xyz + normalize(light_pos - hit.xyz) * hit_offset_eps;
  vec3 D = nextDirection(N0, H.a, E, e0 > 0.0, rnd);

  vec3 c[3];
  vec3 e[3];
  c[0] = vec3(0.0);
  c[1] = second_bounce_colour;
  c[2] = vec3(0.0);
  e[0] = vec3(ambient_light);
  e[1] = vec3(ambient_light);
  e[2] = vec3(ambient_light);

  // One path for all bounces of the pixel: a bounce starts where the last
  // one ended, so its first descent starts deep in the tree as well.
  startPath(nodeAt(ivec3(0)));
  // Tested at the bottom, like the loops of the march: every path traces
  // its first bounce, and no pass runs for none after the last.
  int i = 0;
  output2 = vec4(escaped_bounce_distance, 0.0, 0.0, 0.0);
  do {
    vec3 P;
    vec3 N;
    vec4 T;
    if (!rayHit(origin, D, getInvRayDir(D), bounce_length, P, N, T)) {
      e[i] = skyLight(D);
      break;
    }
    if (i == 0) output2.x = length(P - hit.xyz);
    c[i] = T.rgb;
    float f = emmitance(T.a);
    if (f > 0.0) {
      e[i] = T.rgb * f * max(dot(N, -D), 0.5);
      break;
    }
    D = nextDirection(N, T.a, D, false, rnd);
    origin = P + D * hit_offset_eps;
    ++i;
  } while (i < ray_max_depth);

  vec3 col = L0 + H.rgb * (e[0] + c[0] * (e[1] + c[1] * (e[2] + c[2] * ambient_light)));
  output0 = vec4(clamp(col, 0.0, 1.0), 0.0);
#ifdef ONE_BOUNCE
  output1 = state_out;
#else
  output1 = rnd;
#endif
}
