#include "playcore/convert/convert_job.h"

#include "playcore/convert/movie_capture.h"

namespace playcore {

ConvertResult ConvertMovie(const ConvertRequest& request, ConvertReport* report) {
    CMovieCapture capture;
    CMovieCapture::Params params;
    params.source = request.source;
    params.destination = request.destination;
    params.settings = request.settings;
    params.totalFrames = request.totalFrames;
    params.progressStart = request.progressStart;
    params.running = request.running;
    params.progress = request.progress;
    params.framesWritten = request.framesWritten;
    std::string why;
    const ConvertResult result =
        request.destination.empty() ? kConvertFailed : capture.Run(std::move(params), &why);
    if (report) {
        report->frames = capture.FrameCounter();
        report->stoppedEarly = capture.StoppedEarly();
        report->encoder = capture.EncoderUsed();
        report->why = request.destination.empty() ? "no destination" : why;
    }
    return result;
}

} // namespace playcore
