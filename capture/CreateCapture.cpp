#include "vemor/capture/CaptureFile.h"
#include "vemor/capture/Journal.h"

namespace vemor {

std::unique_ptr<CaptureFile> CreateCapture(CaptureNamer& names, const std::string& startTime) {
    // A journal left without its capture is never joined to a new one.
    return CreateCapture(names, startTime, [](const std::string& name) {
        return NameTaken(name) || NameTaken(JournalName(name));
    });
}

std::unique_ptr<CaptureFile> CreateCapture(CaptureNamer& names, const std::string& startTime,
                                           const CaptureNamer::TakenFn& taken) {
    // Every name is tried at most once: a name taken in between counts as taken.
    for (int tries = 0; tries < 65535; ++tries) {
        const std::optional<std::string> name = names.NextName(taken);
        if (!name) {
            break;
        }
        try {
            return std::make_unique<CaptureFile>(*name, startTime);
        } catch (const NameInUse&) {
        }
    }
    throw std::runtime_error("Cannot create a capture file: every name from TMP1.$$$ to "
                             "TMP65535.$$$ is taken in " +
                             ExpandedPath("."));
}

} // namespace vemor
