#version 330
#extension GL_EXT_gpu_shader4 : enable
precision mediump float;

// Primary rays: one ray per pixel from the camera through the scene box,
// marched through the sparse voxel octree in whole steps; the nearest
// triangle hit goes into the three hit buffers.

uniform vec2 screen_dim;
uniform vec3 A;
uniform vec3 B;
uniform vec3 C;
uniform vec3 camera_position;
uniform vec3 BB_min;
uniform vec3 BB_max;
uniform vec3 BB_offset;
uniform float BB_maxdim;
uniform float stepsize;
uniform vec3 light_pos;
uniform vec2 jitter;

uniform usampler3D node_pool_texture;
uniform usampler2D triangle_id_texture;
uniform sampler2D triangle_texture;
uniform sampler2D triangle_normal_texture;
uniform sampler1D brdf_texture;

uniform float inv_node_pool_dim;
uniform float inv_triangle_id_tex_size;
uniform float inv_triangle_tex_size;
uniform uint triangle_id_tex_size;
uniform uint triangle_tex_size;

out vec4 output0;
out vec4 output1;
out vec4 output2;

const float tri_eps = 0.0001;
const float eps = 0.000001;
const float scene_dim = 1024.0;
const float inv_scene_dim = 1.0 / 1024.0;
const int march_iterations = 128;
const float min_segment = 0.005;
const float hit_slack = 0.001;
const float no_hit_distance = 1024.0;

const uint node_mask_0 = 511u;
const uint node_mask_10 = 1047552u;
const uint node_mask_20 = 1072693248u;
const uint node_mask_30 = 1073741824u;
const uint node_tri_id_mask_x = 0x0000FFFFu;
const uint node_tri_id_mask_y = 0xFFFF0000u;

// The octree build stops at depth 9; a descent that goes further can only
// come from a node word pointing back up the tree.
const int max_octree_depth = 9;

float rand(vec2 co) {
  return fract(sin(dot(co, vec2(12.9898, 78.233))) * 43758.5453);
}

vec3 getInvRayDir(vec3 d) {
  return vec3(d.x != 0.0 ? 1.0 / d.x : eps,
              d.y != 0.0 ? 1.0 / d.y : eps,
              d.z != 0.0 ? 1.0 / d.z : eps);
}

vec2 RayBoxIntersection(vec3 BBMin, vec3 BBMax, vec3 o, vec3 inv) {
  vec3 l1 = (BBMin - o) * inv;
  vec3 l2 = (BBMax - o) * inv;
  vec3 lo = min(l1, l2);
  vec3 hi = max(l1, l2);
  float tmin = max(max(lo.x, lo.y), lo.z);
  float tmax = min(min(hi.x, hi.y), hi.z);
  return vec2(max(0.0, tmin), tmax);
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
// that cell's place. A march mostly moves on to a neighbouring cell, whose
// path shares all but the last few nodes with this one.
const int finest_cells = 512;  // cells per axis at the depth bound
uint path_nodes[max_octree_depth + 1];
int path_depth;
ivec3 path_cell;  // coordinates of the last point in cells of the finest size

void startPath() {
  path_nodes[0] = nodeAt(ivec3(0));
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

// Walks to the cell that holds p, starting from the deepest node of the
// last path that also holds it. Returns the node word; box_min and cell
// describe the cell reached. The depth is bounded so that any node data
// ends the descent; a node still internal at the bound is returned as it is
// and treated as empty.
//
// Each level's child index is one bit of p's coordinate in finest cells.
// That is the half the usual halving descent picks: its position inside the
// cell at depth d is exactly p times 2^d less the bits above, all dyadic
// arithmetic without rounding. Points outside the cube clamp onto its faces
// as that descent's clamped child index does: a march stays within a few
// units of the cube, far from where the float-to-integer conversion would
// overflow; NaN converts to the lowest child there as it does here. The box
// comes from the same bits, exact as well.
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

// The tests at the top of every step: the iteration budget and the length.
// NaN lengths march on, as they did when the test was written as a break on
// len > max_len.
bool marchGoesOn(int i, float len, float max_len) {
  return i < march_iterations && !(len > max_len);
}

// Every target is written, also on the early way out: an unwritten output
// holds undefined values, which the display pass would show.
void writeNoHit() {
  output0 = vec4(0.0);
  output1 = vec4(0.0);
  output2 = vec4(0.0, 0.0, 0.0, 1.0);
}

void main() {
  readUniforms();
  vec2 pixel = gl_FragCoord.xy + jitter;
  float xf = pixel.x / screen_dim.x;
  float yf = pixel.y / screen_dim.y;
  float rand_offset = rand(pixel);

  vec3 image_pos = C + A * xf + B * yf;
  vec3 origin = camera_position;
  vec3 dir = normalize(image_pos - camera_position);
  vec3 inv = getInvRayDir(dir);

  vec2 t = RayBoxIntersection(BB_min, BB_max, origin, inv);
  vec3 s = (origin + dir * t.x + BB_offset) / BB_maxdim;
  vec3 e = (origin + dir * t.y + BB_offset) / BB_maxdim;
  vec3 seg = e - s;
  float max_len = length(seg);
  // A reversed segment is a ray that misses the box: marching it backwards
  // would only waste the iteration budget.
  if (t.y < t.x || max_len < min_segment) {
    writeNoHit();
    return;
  }

  startPath();
  vec3 rd = normalize(seg);
  vec3 step = rd * stepsize;
  float len = stepsize * (1.0 + rand_offset);
  vec3 p = s + step * (1.0 + rand_offset);

  vec4 colour = vec4(0.0);
  vec4 position = vec4(0.0);
  vec3 normal = vec3(0.0);

  // The nearest triangle of the leaf that holds the hit: (t, u, v) and its
  // first texel. The hit is finished after the march, once per pixel.
  bool found = false;
  vec3 best = vec3(no_hit_distance, 0.0, 0.0);
  ivec2 best_texel = ivec2(0);
  vec3 s_tri = s * scene_dim;

  // Two loops cross the cells: the inner one skips cells without triangles,
  // the outer one tests the leaf the inner one stopped at. Every cell counts
  // as one iteration, in the same order as in a single loop; but where all
  // pixels of a group run in step, the triangle tests now run only when one
  // of them has reached a leaf, not on every step of every pixel.
  int i = 0;
  for (;;) {
    vec3 box_min;
    vec3 box_max;
    float cell;
    uint node = 0u;
    bool at_leaf = false;
    if (marchGoesOn(i, len, max_len)) {
      do {
        node = descend(p, box_min, cell);
        box_max = box_min + cell;
        if (isLeaf(node)) {
          at_leaf = true;
          break;
        }
        // Empty, or a corrupt internal node at the depth bound: skip the cell.
        float advance = max(step_size, RayBoxIntersectionMax(box_min, box_max, p, inv));
        advanceWholeSteps(advance, step, p, len);
        ++i;
      } while (marchGoesOn(i, len, max_len));
    }
    if (!at_leaf) break;

    // Exit and triangle distances are both measured from the segment start.
    float t_exit = max(0.0, RayBoxIntersectionMax(box_min, box_max, s, inv));
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
        vec3 h = RayTriangleIntersection(s_tri, rd, v0, v1 - v0, v2 - v0);
        h.x *= inv_scene_dim;
        if (h.x > 0.0 && h.x < best.x) {
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
    position = vec4(s + rd * best.x, 1.0);
    normal = normalize(n0.xyz + (n1 - n0.xyz) * best.y + (n2 - n0.xyz) * best.z);
    // One level, nearest filtering: the same entry at any level of detail,
    // without derivatives, which a branch of the march does not have.
    colour = textureLod(brdf_texture, n0.w, 0.0);
  }

  output0 = colour;
  output1 = position;
  output2 = vec4(normal, 1.0);
}
