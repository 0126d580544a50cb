#include "usb/libusb_context.h"

#include <libusb.h>

namespace marlow::usb {

Result<std::shared_ptr<LibusbContext>> LibusbContext::Create() {
    libusb_context* context = nullptr;
    const int result = libusb_init(&context);
    if (result != LIBUSB_SUCCESS)
        return Failure{"USB access is not available: " + LibusbErrorText(result)};
    return std::shared_ptr<LibusbContext>(new LibusbContext(context));
}

LibusbContext::~LibusbContext() {
    libusb_exit(context_);
}

std::string LibusbErrorText(int code) {
    return std::string(libusb_error_name(code)) + " (" + libusb_strerror(code) + ")";
}

} // namespace marlow::usb
