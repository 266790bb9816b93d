#pragma once

#include <GL/glew.h>

#include "scene/OctreeScene.h"

// Uploads the four large scene arrays once, whole, into new textures:
// node pool, triangle ids, triangle positions, triangle normals, in that
// order. Needs a current GL context.
void createSceneTextures(const OctreeScene& scene, GLuint textures[4]);
