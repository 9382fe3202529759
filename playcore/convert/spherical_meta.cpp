#include "playcore/convert/spherical_meta.h"

#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libavutil/spherical.h>
#include <libavutil/stereo3d.h>
}

#include "playcore/convert/panorama_geometry.h"

namespace playcore {

namespace {

// Hands a side-data block (allocated with av_malloc) to the stream; the
// stream owns it afterwards, also on failure (then freed here).
bool AttachSideData(AVStream* stream, AVPacketSideDataType type, uint8_t* data, size_t size) {
#if LIBAVFORMAT_VERSION_MAJOR >= 61
    AVPacketSideData* sd =
        av_packet_side_data_add(&stream->codecpar->coded_side_data,
                                &stream->codecpar->nb_coded_side_data, type, data, size, 0);
    if (!sd) av_free(data);
    return sd != nullptr;
#else
    if (av_stream_add_side_data(stream, type, data, size) < 0) {
        av_free(data);
        return false;
    }
    return true;
#endif
}

// The handler type of a trak ("vide", "soun", ...), or 0.
uint32_t HandlerOf(const sTAGNODE& trak) {
    for (const auto& mdia : trak.children) {
        if (!mdia->Is("mdia")) continue;
        for (const auto& hdlr : mdia->children) {
            uint32_t type = 0;
            // Payload: version and flags, pre-defined, handler type.
            if (hdlr->Is("hdlr") && PayloadBE32(*hdlr, 8, &type)) return type;
        }
    }
    return 0;
}

} // namespace

bool AddSphericalSideData(AVStream* video, bool flip) {
    size_t size = 0;
    AVSphericalMapping* mapping = av_spherical_alloc(&size);
    if (!mapping) return false;
    const EquirectBounds b = PanoramaBounds(flip);
    // Bounds that crop nothing declare the whole-sphere projection; the
    // tiled form carries bounds that crop.
    mapping->projection =
        b == EquirectBounds{} ? AV_SPHERICAL_EQUIRECTANGULAR : AV_SPHERICAL_EQUIRECTANGULAR_TILE;
    mapping->yaw = mapping->pitch = mapping->roll = 0;
    mapping->bound_top = b.top;
    mapping->bound_bottom = b.bottom;
    mapping->bound_left = b.left;
    mapping->bound_right = b.right;
    if (!AttachSideData(video, AV_PKT_DATA_SPHERICAL, reinterpret_cast<uint8_t*>(mapping), size))
        return false;
    AVStereo3D* stereo = av_stereo3d_alloc();
    if (!stereo) return false;
    stereo->type = AV_STEREO3D_2D;
    stereo->flags = 0;
    return AttachSideData(video, AV_PKT_DATA_STEREO3D, reinterpret_cast<uint8_t*>(stereo),
                          sizeof(AVStereo3D));
}

int SphericalMuxerCompliance() {
    return FF_COMPLIANCE_UNOFFICIAL;
}

bool AddSphericalV1Box(sTAGNODE& root, int width, int height) {
    for (auto& moov : root.children) {
        if (!moov->Is("moov") || moov->leaf) continue;
        for (auto& trak : moov->children) {
            if (!trak->Is("trak") || trak->leaf) continue;
            if (HandlerOf(*trak) != 0x76696465) continue; // "vide"
            const std::string xmp = SphericalV1Xmp(width, height);
            auto box = std::make_unique<sTAGNODE>();
            box->depth = trak->depth + 1;
            box->leaf = 1;
            std::memcpy(box->type, "uuid", 4);
            box->data.resize(sizeof kSphericalV1Uuid + xmp.size());
            std::memcpy(box->data.data(), kSphericalV1Uuid, sizeof kSphericalV1Uuid);
            std::memcpy(box->data.data() + sizeof kSphericalV1Uuid, xmp.data(), xmp.size());
            box->size = box->origSize = box->copied = box->data.size();
            box->source = trak->source;
            trak->children.push_back(std::move(box));
            return true;
        }
    }
    return false;
}

} // namespace playcore
