// The two scenes of the monitor tests, around the carousel's turn pivot:
// a grid of four upright placeholder faces in front of the pivot, all facing the
// camera (each with copies a quarter, half and three quarters of a turn back, so
// that after any number of turns the grid stands in front again), and a box of four faces about the pivot
// (slot 0 in front, 1 on the right, 2 behind, 3 on the left, as the carousel turns them).
#pragma once

#include "math/Vector3.h"

#include <string>

namespace carousel {

const Vector3 kPivot(-0.147f, 27.641f, 133.806f);

// Placeholder texture name of slot s as stored in the scene: "Slot<s>.BMP".
std::string SlotTexture(int slot);

// Writes the grid scene, its own textures (grey), a fifth face whose texture name
// differs from a placeholder's only in length and a sixth without a texture, into
// dir; returns the scene path.
std::string WriteGrid(const std::string& dir);
// The centre of grid face slot (0..3), of the fifth (4) and sixth (5) face, before turning.
Vector3 GridCentre(int face);

std::string WriteBox(const std::string& dir);
// The centre of the box's front face when the carousel stands still.
Vector3 BoxFront();

}  // namespace carousel
