#pragma once
// Loads Qt's image-format plugins on a worker thread while the window is
// being built.
//
// The Fusion style draws a group box's frame from a PNG, read the first time
// a group box paints. Asked for a PNG, QImageReader first loads every
// image-format plugin installed (gif, ico, jpeg with libjpeg, ...) to ask
// whether it reads the file, which holds up the window's first frame by about
// a millisecond. Loaded beforehand, the plugins are shared: QImageReader then
// finds them in memory. Only the first window of a process starts the worker.

#include <thread>

namespace startup {

class ImagePluginsAside {
public:
    ImagePluginsAside();
    // Waits for the worker: plugins are not left loading while the
    // application goes.
    ~ImagePluginsAside();

    ImagePluginsAside(const ImagePluginsAside&) = delete;
    ImagePluginsAside& operator=(const ImagePluginsAside&) = delete;

private:
    std::thread worker_;
};

} // namespace startup
