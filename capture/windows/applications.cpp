// Windows lists no applications yet: a choice of one application says why.
#include "capture/audio_applications.h"

namespace kinetra::capture {

AudioApplicationList ListAudioApplications(int /*timeoutMs*/) {
    AudioApplicationList list;
    list.unsupported = "hearing one application is not available on Windows yet";
    return list;
}

}  // namespace kinetra::capture
