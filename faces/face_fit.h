// The face fit of photographs: the picture is cut from the photograph by the similarity
// transform (scale, rotation, shift) that puts the centres of its largest face's eyes at
// (88, 112) and (168, 112) of the 256 x 256 square, eyes level, so that every picture of a face
// morph has its face at the same place and size. Whatever of the square lies outside the
// photograph is black. A photograph without a face is cropped to its centre square instead, and
// the note of its import says so.
#pragma once

// Registers the face fit with the pictures library; a program that imports photographs calls it
// once at its start. The face model is read at the first photograph fitted this way.
void registerFaceFit();
