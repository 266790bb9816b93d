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

// Texels outside a texture read as 0, as a border-clamped lookup would: a
// corrupt word or reference must never reach past the data.
uint nodeAt(ivec3 texel) {
  ivec3 size = textureSize(node_pool_texture, 0);
  if (any(lessThan(texel, ivec3(0))) || any(greaterThanEqual(texel, size))) return 0u;
  return texelFetch(node_pool_texture, texel, 0).r;
}

uint triangleIdAt(ivec2 texel) {
  ivec2 size = textureSize(triangle_id_texture, 0);
  if (any(lessThan(texel, ivec2(0))) || any(greaterThanEqual(texel, size))) return 0u;
  return texelFetch(triangle_id_texture, texel, 0).r;
}

vec4 triangleTexel(ivec2 texel) {
  ivec2 size = textureSize(triangle_texture, 0);
  if (any(lessThan(texel, ivec2(0))) || any(greaterThanEqual(texel, size))) return vec4(0.0);
  return texelFetch(triangle_texture, texel, 0);
}

vec4 normalTexel(ivec2 texel) {
  ivec2 size = textureSize(triangle_normal_texture, 0);
  if (any(lessThan(texel, ivec2(0))) || any(greaterThanEqual(texel, size))) return vec4(0.0);
  return texelFetch(triangle_normal_texture, texel, 0);
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

uvec3 nodeFields(uint node) {
  return uvec3(node & node_mask_0, (node & node_mask_10) >> 10, (node & node_mask_20) >> 20);
}

ivec2 triangleTexelOf(uint entry) {
  return ivec2(int(entry & node_tri_id_mask_x), int((entry & node_tri_id_mask_y) >> 16));
}

// Walks from the root to the cell that holds p. Returns the node word;
// box_min and cell describe the cell reached. Child indices are clamped so
// that a point rounded onto the far face stays in the last child, and the
// depth is bounded so that any node data ends the descent. A node still
// internal at the depth bound is returned as it is and treated as empty.
uint descend(vec3 p, out vec3 box_min, out float cell) {
  vec3 q = p;
  uint node = nodeAt(ivec3(0));
  box_min = vec3(0.0);
  cell = 1.0;
  for (int depth = 0; depth < max_octree_depth; ++depth) {
    if (isLeaf(node) || isEmpty(node)) break;
    ivec3 child = clamp(ivec3(q * 2.0), ivec3(0), ivec3(1));
    q = q * 2.0 - vec3(child);
    cell *= 0.5;
    box_min += vec3(child) * cell;
    node = nodeAt(ivec3(nodeFields(node)) + child);
  }
  return node;
}

// Every target is written, also on the early way out: an unwritten output
// holds undefined values, which the display pass would show.
void writeNoHit() {
  output0 = vec4(0.0);
  output1 = vec4(0.0);
  output2 = vec4(0.0, 0.0, 0.0, 1.0);
}

void main() {
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

  vec3 rd = normalize(seg);
  vec3 step = rd * stepsize;
  float len = stepsize * (1.0 + rand_offset);
  vec3 p = s + step * (1.0 + rand_offset);

  vec4 colour = vec4(0.0);
  vec4 position = vec4(0.0);
  vec3 normal = vec3(0.0);

  for (int i = 0; i < march_iterations; ++i) {
    if (len > max_len) break;

    vec3 box_min;
    float cell;
    uint node = descend(p, box_min, cell);
    vec3 box_max = box_min + cell;

    float advance;
    if (isLeaf(node)) {
      float t_exit = max(0.0, RayBoxIntersectionMax(box_min, box_max, s, inv));
      uvec3 f = nodeFields(node);
      vec3 best = vec3(no_hit_distance, 0.0, 0.0);
      ivec2 best_texel = ivec2(0);
      vec3 s_tri = s * scene_dim;
      for (uint j = 0u; j < f.x; ++j) {
        ivec2 corner = triangleTexelOf(triangleIdAt(runTexel(f.y, f.z, j, triangle_id_tex_size)));
        ivec2 corner1 = nextTexel(corner, triangle_tex_size);
        ivec2 corner2 = nextTexel(corner1, triangle_tex_size);
        vec3 v0 = triangleTexel(corner).xyz;
        vec3 v1 = triangleTexel(corner1).xyz;
        vec3 v2 = triangleTexel(corner2).xyz;
        vec3 h = RayTriangleIntersection(s_tri, rd, v0, v1 - v0, v2 - v0);
        h.x *= inv_scene_dim;
        if (h.x > 0.0 && h.x < best.x) {
          best = h;
          best_texel = corner;
        }
      }
      if (best.x < t_exit + hit_slack) {
        ivec2 texel1 = nextTexel(best_texel, triangle_tex_size);
        ivec2 texel2 = nextTexel(texel1, triangle_tex_size);
        vec4 n0 = normalTexel(best_texel);
        vec3 n1 = normalTexel(texel1).xyz;
        vec3 n2 = normalTexel(texel2).xyz;
        position = vec4(s + rd * best.x, 1.0);
        normal = normalize(n0.xyz + (n1 - n0.xyz) * best.y + (n2 - n0.xyz) * best.z);
        colour = texture(brdf_texture, n0.w);
        break;
      }
      advance = max(stepsize, t_exit - len);
    } else {
      // Empty, or a corrupt internal node at the depth bound: skip the cell.
      advance = max(stepsize, RayBoxIntersectionMax(box_min, box_max, p, inv));
    }
    // Whole steps keep the march on its lattice; counted in float so that a
    // huge exit distance cannot overflow an integer.
    float k = ceil(advance / stepsize);
    p += step * k;
    len += stepsize * k;
  }

  output0 = colour;
  output1 = position;
  output2 = vec4(normal, 1.0);
}
