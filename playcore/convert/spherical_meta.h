#pragma once
// Writing the spherical video metadata of the converted file: the stream
// side data from which FFmpeg's MP4 muxer writes the Spherical Video V2
// boxes ("st3d" mono, "sv3d" with an equirectangular projection and the
// bounds of panorama_geometry.h), and the V1 "uuid" XMP box added to the
// video track of the finished box tree.
//
// No Qt. The muxer writes the V2 boxes only when its compliance is
// FF_COMPLIANCE_UNOFFICIAL or laxer (SphericalMuxerCompliance).

#include "playcore/container/mp4_tree.h"

struct AVStream;

namespace playcore {

// Adds the spherical mapping (equirectangular, pose 0, bounds of the
// mounting direction) and the stereo mode (2D) to the video stream before
// the header is written. False when out of memory.
bool AddSphericalSideData(AVStream* video, bool flip);
// The muxer compliance ("strict") that lets the MP4 muxer write them.
int SphericalMuxerCompliance();

// Appends the V1 "uuid" box (XMP of a width x height whole-sphere picture)
// to the first track whose handler is "vide". False when the tree has no
// such track.
bool AddSphericalV1Box(sTAGNODE& root, int width, int height);

} // namespace playcore
