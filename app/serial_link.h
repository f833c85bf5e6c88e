#pragma once
// The serial port as a link: frames go to the serial component's write
// thread as they are.

#include "link/link.h"
#include "serial/tcomm.h"

class SerialLink final : public line::Link {
public:
    explicit SerialLink(TComm& comm) : comm_(comm) {}
    bool sendFrame(std::span<const std::uint8_t> frame) override {
        return comm_.SendBlock(frame.data(), static_cast<std::uint16_t>(frame.size()));
    }
    std::optional<std::uint64_t> bytesArrived() const override { return comm_.bytesRead(); }

private:
    TComm& comm_;
};
