#include "startup/image_plugins.h"

#include <QImageReader>

#include <atomic>

namespace startup {

ImagePluginsAside::ImagePluginsAside() {
    static std::atomic<bool> started{false};
    if (started.exchange(true)) return;
    // Listing the formats asks every plugin, which loads it. Qt's plugin
    // loader is thread-safe and hands plugin objects to the main thread.
    worker_ = std::thread([] { QImageReader::supportedImageFormats(); });
}

ImagePluginsAside::~ImagePluginsAside() {
    if (worker_.joinable()) worker_.join();
}

} // namespace startup
