#include "room/Room.h"

#include <algorithm>

#include "room/Shapes.h"

namespace room {

// The demo scales the bounding box of all files into its octree cube and has a
// fixed start camera, so the room is laid out in a box of exactly [0, 10] on x
// and z with the floor's underside at y = 0: then the camera stands at
// kEye, 0.73 above the floor, looking towards the back wall (z = 0) and a
// little to the right. Everything worth seeing sits inside that view.

namespace {

const Vec3 kEye{3.2167, 0.8333, 6.8833};

constexpr double kRoom = 10.0;
constexpr double kFloorTop = 0.1;
constexpr double kWallHeight = 3.4;

// Where the tree stands; most things are placed around it.
const Vec3 kTreeBase{4.1, kFloorTop, 3.5};
constexpr double kTreeScale = 0.85;

// The horizontal unit vector from `position` towards the camera, turned by
// `angle` counter-clockwise seen from above (no atan2: see Geometry.h).
Vec3 towardsEye(const Vec3& position, double angle) {
  const Vec3 d = unit(Vec3{kEye.x - position.x, 0.0, kEye.z - position.z});
  const double c = detCos(angle);
  const double s = detSin(angle);
  return {d.x * c + d.z * s, 0.0, d.z * c - d.x * s};
}

// Placement at `position` with local +z turned towards the camera, for things
// that should face the viewer.
Frame facingCamera(const Vec3& position) {
  const Vec3 d = towardsEye(position, 0.0);
  Frame frame = translation(position);
  frame.x = {d.z, 0.0, -d.x};
  frame.z = d;
  return frame;
}

RoomFile backWall() {
  RoomFile file{"backwall.obj", "back wall of the room", {}};
  addBox(file.mesh, Frame{}, {0.0, kFloorTop, 0.0}, {kRoom, kWallHeight, kWallThickness});
  return file;
}

RoomFile leftWall() {
  RoomFile file{"wall_left.obj", "left wall of the room", {}};
  addBox(file.mesh, Frame{}, {0.0, kFloorTop, kWallThickness},
         {kWallThickness, kWallHeight, kRoom});
  return file;
}

RoomFile rightWall() {
  RoomFile file{"wall_right.obj", "right wall of the room", {}};
  addBox(file.mesh, Frame{}, {kRoom - kWallThickness, kFloorTop, kWallThickness},
         {kRoom, kWallHeight, kRoom});
  return file;
}

RoomFile floorSlab() {
  RoomFile file{"floor.obj", "floor of the room", {}};
  addBox(file.mesh, Frame{}, {0.0, 0.0, 0.0}, {kRoom, kFloorTop, kRoom});
  return file;
}

struct Gift {
  Vec3 base;
  double yaw;
  double halfWidth;   // local x
  double halfDepth;   // local z
  double height;      // of the box, lid excluded
};

const double kLidHeight = 0.08;
const double kLidOverhang = 0.025;

const Gift kPurpleGift{{2.5, kFloorTop, 4.75}, 0.45, 0.3, 0.3, 0.46};
const Gift kGreyGift{{3.2, kFloorTop, 2.7}, -0.35, 0.26, 0.26, 0.56};

Frame giftFrame(const Gift& gift) { return translation(gift.base) * rotationY(gift.yaw); }

void addGiftBox(Mesh& mesh, const Gift& gift) {
  const Frame frame = giftFrame(gift);
  addBox(mesh, frame, {-gift.halfWidth, 0.0, -gift.halfDepth},
         {gift.halfWidth, gift.height, gift.halfDepth});
  const double w = gift.halfWidth + kLidOverhang;
  const double d = gift.halfDepth + kLidOverhang;
  addBox(mesh, frame, {-w, gift.height - kLidHeight * 0.5, -d},
         {w, gift.height + kLidHeight * 0.5, d});
}

RoomFile purpleGift() {
  RoomFile file{"gave.obj", "purple gift box with its lid", {}};
  addGiftBox(file.mesh, kPurpleGift);
  return file;
}

RoomFile greyGift() {
  RoomFile file{"gave2.obj", "grey gift box with its lid", {}};
  addGiftBox(file.mesh, kGreyGift);
  return file;
}

// Two bands crossing over the lid and down the sides, and a bow of two loops.
void addRibbon(Mesh& mesh, const Gift& gift) {
  const Frame frame = giftFrame(gift);
  const double band = 0.055;
  const double proud = 0.012;  // how far the band stands off the box
  const double top = gift.height + kLidHeight * 0.5 + proud;
  const double w = gift.halfWidth + kLidOverhang + proud;
  const double d = gift.halfDepth + kLidOverhang + proud;
  addBox(mesh, frame, {-w, 0.0, -band}, {w, top, band});
  addBox(mesh, frame, {-band, 0.0, -d}, {band, top, d});
  const double loop = 0.1;
  const double tube = 0.022;
  for (int side = 0; side < 2; ++side) {
    const double lean = side == 0 ? 0.9 : -0.9;
    const Frame bow = frame * translation({0.0, top + loop * 0.45, 0.0}) * rotationZ(lean) *
                      translation({side == 0 ? loop : -loop, 0.0, 0.0}) *
                      scaling(1.0, 0.6, 1.0) * rotationX(kPi / 2.0);
    addTorus(mesh, bow, loop, tube, 16, 8);
  }
  addBox(mesh, frame, {-0.04, top - 0.02, -0.04}, {0.04, top + 0.05, 0.04});
}

RoomFile ribbons() {
  RoomFile file{"ribbon.obj", "ribbons and bows of both gifts", {}};
  addRibbon(file.mesh, kPurpleGift);
  addRibbon(file.mesh, kGreyGift);
  return file;
}

// The sleigh is built pointing along local +x, runners on y = 0.
RoomFile sleigh() {
  RoomFile file{"slf.obj", "small sleigh", {}};
  Mesh& mesh = file.mesh;
  const Vec3 place{5.2, kFloorTop, 4.6};
  const Frame frame = translation(place) * rotationY(kPi - 0.55) * scaling(1.05, 1.05, 1.05);
  const std::vector<Vec2> runner = {{-0.45, 0.0},  {0.33, 0.0},  {0.43, 0.04},  {0.49, 0.13},
                                    {0.48, 0.23},  {0.43, 0.28}, {0.38, 0.26},  {0.38, 0.22},
                                    {0.43, 0.2},   {0.43, 0.14}, {0.39, 0.08},  {0.32, 0.045},
                                    {-0.45, 0.045}};
  for (double side : {-0.2, 0.2}) {
    addPrism(mesh, frame, runner, side - 0.02, side + 0.02);
    for (double x : {-0.3, 0.18}) {
      addBox(mesh, frame, {x - 0.025, 0.03, side - 0.018}, {x + 0.025, 0.16, side + 0.018});
    }
  }
  // Side panels: a low front rising to a high curved back.
  const std::vector<Vec2> profile = {{-0.48, 0.14}, {0.28, 0.14},  {0.38, 0.2},  {0.42, 0.3},
                                     {0.4, 0.37},   {0.33, 0.36},  {0.2, 0.3},   {-0.05, 0.3},
                                     {-0.22, 0.36}, {-0.34, 0.5},  {-0.42, 0.58}, {-0.52, 0.6},
                                     {-0.55, 0.52}, {-0.52, 0.3}};
  for (double side : {-0.25, 0.25}) {
    addPrism(mesh, frame, profile, side - 0.025, side + 0.025);
  }
  addBox(mesh, frame, {-0.5, 0.14, -0.23}, {0.3, 0.19, 0.23});     // floor
  addBox(mesh, frame, {-0.52, 0.18, -0.23}, {-0.45, 0.55, 0.23});   // back rest
  addBox(mesh, frame, {-0.42, 0.18, -0.23}, {-0.12, 0.3, 0.23});    // seat
  addBox(mesh, frame, {0.3, 0.14, -0.23}, {0.38, 0.3, 0.23});       // dashboard
  return file;
}

// The letters Q and M, extruded, mounted on the back wall left of the tree.
RoomFile letters() {
  RoomFile file{"qm.obj", "the letters QM", {}};
  Mesh& mesh = file.mesh;
  const double z0 = kWallThickness;
  const double z1 = kWallThickness + kLetterDepth;
  const double height = kLetterHeight;
  const Vec3 origin{0.9, 1.1, 0.0};
  const double r = height * 0.5;
  const Frame q = translation(origin + Vec3{r * 0.82, r, 0.0}) * scaling(0.82, 1.0, 1.0);
  addRingPrism(mesh, q, r, r - 0.13, 28, z0, z1);
  const Frame tail = translation(origin + Vec3{r * 0.82 + 0.2, 0.12, 0.0}) * rotationZ(-0.75);
  addBox(mesh, tail, {-0.16, -0.05, z0}, {0.16, 0.05, z1});
  const double s = 0.14;
  const double w = 0.66;
  const double top = height;
  const std::vector<Vec2> m = {{0.0, 0.0},     {s, 0.0},         {s, top * 0.62},
                               {w / 2, 0.22},  {w - s, top * 0.62}, {w - s, 0.0},
                               {w, 0.0},       {w, top},          {w - s, top},
                               {w / 2, 0.42},  {s, top},          {0.0, top}};
  addPrism(mesh, translation(origin + Vec3{2.0 * r * 0.82 + 0.14, 0.0, 0.0}), m, z0, z1);
  return file;
}

struct Bauble {
  const char* name;
  const char* description;
  Vec3 center;
  double radius;
};

RoomFile bauble(const Bauble& b) {
  RoomFile file{b.name, b.description, {}};
  file.mesh.smooth = true;
  addSphere(file.mesh, b.center, b.radius, 3);
  return file;
}

struct Tier {
  double base;    // above the floor
  double radius;
  double height;
};

const Tier kTiers[] = {{0.28, 0.86, 0.72}, {0.68, 0.7, 0.62}, {1.03, 0.52, 0.52},
                       {1.34, 0.34, 0.42}};
constexpr int kTierSegments = 12;

// A point near tier `t`'s surface at `fraction` of its height, in the
// direction of the camera turned by `angle`, pushed out by `offset`.
Vec3 onTier(int t, double fraction, double angle, double offset) {
  const Tier& tier = kTiers[t];
  const double r = tier.radius * (1.0 - fraction) * kTreeScale + offset;
  return kTreeBase + Vec3{0.0, (tier.base + tier.height * fraction) * kTreeScale, 0.0} +
         towardsEye(kTreeBase, angle) * r;
}

// A point on the rug at `distance` from the trunk, for a bauble of `radius`.
Vec3 onRug(double angle, double distance, double radius) {
  return kTreeBase + towardsEye(kTreeBase, angle) * distance + Vec3{0.0, 0.02 + radius, 0.0};
}

RoomFile tree() {
  RoomFile file{"toppe.obj", "mirror Christmas tree", {}};
  Mesh& mesh = file.mesh;
  const Frame base = translation(kTreeBase) * scaling(kTreeScale, kTreeScale, kTreeScale);
  addFrustum(mesh, base, 0.13, 0.11, 0.34, 8, 0.0);
  for (int t = 0; t < 4; ++t) {
    const Tier& tier = kTiers[t];
    addFrustum(mesh, base * translation({0.0, tier.base, 0.0}), tier.radius, 0.0, tier.height,
               kTierSegments, (t % 2) * kPi / kTierSegments);
  }
  const double tip = kTiers[3].base + kTiers[3].height;
  // Leaning back, the mirror star catches the sky instead of the dark wall.
  const Frame star = facingCamera(kTreeBase + Vec3{0.0, (tip + 0.1) * kTreeScale, 0.0}) *
                     rotationX(-0.45) * scaling(kTreeScale, kTreeScale, kTreeScale);
  addPrism(mesh, star, starOutline(5, 0.17, 0.075), -0.03, 0.03);
  return file;
}

RoomFile rug() {
  RoomFile file{"ground_2.obj", "rug under the tree", {}};
  addFrustum(file.mesh, translation(kTreeBase), 1.3, 1.3, 0.02, 40, 0.0);
  return file;
}

}  // namespace

WallRect letterArea() {
  const Mesh mesh = letters().mesh;
  WallRect area{mesh.positions[0].x, mesh.positions[0].y, mesh.positions[0].x,
                mesh.positions[0].y};
  for (const Vec3& p : mesh.positions) {
    area.left = std::min(area.left, p.x);
    area.bottom = std::min(area.bottom, p.y);
    area.right = std::max(area.right, p.x);
    area.top = std::max(area.top, p.y);
  }
  return area;
}

std::vector<RoomFile> buildRoom() {
  const Bauble baubles[] = {
      {"sphere1.obj", "green bauble", onTier(0, 0.3, 0.9, 0.08), 0.12},
      {"sphere2.obj", "blue bauble", onTier(1, 0.35, -0.75, 0.08), 0.11},
      {"sphere3.obj", "purple bauble", onRug(-0.7, 0.95, 0.15), 0.15},
      {"sphere4.obj", "red bauble", onRug(0.35, 0.9, 0.18), 0.18},
  };
  std::vector<RoomFile> room;
  room.push_back(backWall());
  room.push_back(leftWall());
  room.push_back(rightWall());
  room.push_back(floorSlab());
  room.push_back(purpleGift());
  room.push_back(greyGift());
  room.push_back(ribbons());
  room.push_back(sleigh());
  room.push_back(letters());
  for (const Bauble& b : baubles) room.push_back(bauble(b));
  room.push_back(tree());
  room.push_back(rug());
  return room;
}

}  // namespace room
