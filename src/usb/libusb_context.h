#pragma once
// One libusb session, shared by the hot-plug source and every transport it
// hands out: the session ends when the last of them lets go.

#include "common/result.h"

#include <memory>
#include <string>

struct libusb_context;

namespace marlow::usb {

class LibusbContext {
public:
    // Fails when libusb cannot start (no usbfs, no memory).
    static Result<std::shared_ptr<LibusbContext>> Create();
    ~LibusbContext();
    LibusbContext(const LibusbContext&) = delete;
    LibusbContext& operator=(const LibusbContext&) = delete;

    libusb_context* Raw() const { return context_; }

private:
    explicit LibusbContext(libusb_context* context) : context_(context) {}
    libusb_context* context_;
};

// libusb's name and text for an error code, e.g. "LIBUSB_ERROR_ACCESS (Access denied ...)".
std::string LibusbErrorText(int code);

} // namespace marlow::usb
