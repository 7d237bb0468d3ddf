#pragma once

#include "client/export/ClipRemuxer.h"

namespace halvex::client::ffmpeg {

// ClipRemuxer on libavformat. Each run of segments that share an initialization segment is read
// as one fragmented MP4 (initialization bytes followed by the media segments), its packets are
// placed on the trade's wall-clock timeline through the segments' `startedAt`, and copied into
// one ordinary MP4 (moov first). The clip starts at the key frame at or before the window's start;
// the frames before the start are kept for decoding and hidden by an edit list, so the clip shows
// the window from its first frame on. Packets at or after the window's end are left out.
class FFmpegClipRemuxer : public ClipRemuxer {
public:
    ClipRemuxResult remux(const ClipPlan& plan, const std::string& outputPath) override;
};

}  // namespace halvex::client::ffmpeg
