#include "usb/libusb_transport.h"

#include "usb/usb_log.h"

#include <algorithm>
#include <libusb.h>
#include <sys/time.h>

namespace marlow::usb {
namespace {

// Big enough for one full packet at any speed the boot loader may run at,
// so that an IN transfer never overflows.
constexpr std::size_t kMinInTransfer = 512;

void LIBUSB_CALL MarkCompleted(libusb_transfer* transfer) {
    auto* wait = static_cast<TransferWait*>(transfer->user_data);
    wait->completed = 1;
    wait->done.store(true, std::memory_order_release);
}

TransferStatus StatusOf(const libusb_transfer& transfer, bool interrupted) {
    switch (transfer.status) {
    case LIBUSB_TRANSFER_COMPLETED:
        return TransferStatus::Ok;
    case LIBUSB_TRANSFER_CANCELLED:
        return interrupted ? TransferStatus::Stopped : TransferStatus::Failed;
    case LIBUSB_TRANSFER_NO_DEVICE:
        return TransferStatus::Disconnected;
    default:
        return TransferStatus::Failed;
    }
}

} // namespace

LibusbTransport::LibusbTransport(std::shared_ptr<LibusbContext> context, libusb_device* device,
                                 std::string description)
    : context_(std::move(context)), device_(libusb_ref_device(device)),
      info_(ReadUsbDeviceInfo(device)), description_(std::move(description)) {}

LibusbTransport::~LibusbTransport() {
    Close();
    libusb_unref_device(device_);
}

Status LibusbTransport::Open() {
    if (handle_ != nullptr)
        return {};
    const std::optional<BulkPair> pair = FindBulkPair(ReadUsbInterfaces(device_));
    if (!pair) {
        qCDebug(lcUsb, "%s: no bulk IN/OUT pair", info_.path.c_str());
        return Failure{"USB device " + info_.path + " (" +
                       FormatUsbId(info_.vendor, info_.product) +
                       ") has no interface with a bulk IN and a bulk OUT endpoint; check "
                       "that PdaUsbIds names the handset's boot loader"};
    }
    const int opened = libusb_open(device_, &handle_);
    if (opened != LIBUSB_SUCCESS) {
        handle_ = nullptr;
        qCDebug(lcUsb, "%s: libusb_open failed: %s", info_.path.c_str(), libusb_error_name(opened));
        return Failure{UsbOpenErrorText(opened, info_)};
    }
    pair_ = *pair;
    if (Status claimed = Claim(); !claimed) {
        libusb_close(handle_);
        handle_ = nullptr;
        return claimed;
    }
    received_.clear();
    nextReceived_ = 0;
    serialNumber_ = ReadUsbSerialNumber(handle_);
    qCDebug(lcUsb, "%s opened (%s), interface %d", info_.path.c_str(),
            FormatUsbId(info_.vendor, info_.product).c_str(), pair_.interfaceNumber);
    return {};
}

Status LibusbTransport::Claim() {
    // A kernel driver bound to the interface is set aside while we hold it;
    // platforms without such drivers report "not supported", which is fine.
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    int result = libusb_claim_interface(handle_, pair_.interfaceNumber);
    if (result == LIBUSB_SUCCESS && pair_.alternateSetting != 0) {
        result = libusb_set_interface_alt_setting(handle_, pair_.interfaceNumber,
                                                  pair_.alternateSetting);
        if (result != LIBUSB_SUCCESS)
            libusb_release_interface(handle_, pair_.interfaceNumber);
    }
    if (result != LIBUSB_SUCCESS) {
        qCDebug(lcUsb, "%s: claiming interface %d failed: %s", info_.path.c_str(),
                pair_.interfaceNumber, libusb_error_name(result));
        return Failure{UsbOpenErrorText(result, info_)};
    }
    return {};
}

void LibusbTransport::Close() {
    if (handle_ == nullptr)
        return;
    libusb_release_interface(handle_, pair_.interfaceNumber);
    libusb_close(handle_);
    handle_ = nullptr;
    received_.clear();
    nextReceived_ = 0;
    qCDebug(lcUsb, "%s closed", info_.path.c_str());
}

TransferStatus LibusbTransport::Write(std::span<const std::uint8_t> packet) {
    // libusb wants a writable buffer even for OUT transfers.
    std::vector<std::uint8_t> buffer(packet.begin(), packet.end());
    std::size_t sent = 0;
    const TransferStatus status = Transfer(pair_.outEndpoint, buffer, sent);
    if (status == TransferStatus::Ok && sent != buffer.size())
        return TransferStatus::Failed;
    return status;
}

TransferStatus LibusbTransport::ReadByte(std::uint8_t& out) {
    if (interrupted_.load())
        return TransferStatus::Stopped;
    // A zero-length IN packet carries no reply byte: keep waiting.
    while (nextReceived_ >= received_.size()) {
        received_.resize(std::max<std::size_t>(kMinInTransfer, pair_.inMaxPacketSize));
        std::size_t got = 0;
        const TransferStatus status = Transfer(pair_.inEndpoint, received_, got);
        received_.resize(status == TransferStatus::Ok ? got : 0);
        nextReceived_ = 0;
        if (status != TransferStatus::Ok)
            return status;
    }
    out = received_[nextReceived_++];
    return TransferStatus::Ok;
}

void LibusbTransport::Interrupt() {
    interrupted_.store(true);
    std::lock_guard lock(inFlightMutex_);
    if (inFlight_ != nullptr)
        libusb_cancel_transfer(inFlight_);
}

void LibusbTransport::ClearInterrupt() {
    interrupted_.store(false);
}

TransferStatus LibusbTransport::Transfer(std::uint8_t endpoint, std::span<std::uint8_t> buffer,
                                         std::size_t& transferred) {
    transferred = 0;
    if (handle_ == nullptr)
        return interrupted_.load() ? TransferStatus::Stopped : TransferStatus::Failed;
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (transfer == nullptr)
        return TransferStatus::Failed;
    TransferWait wait;
    libusb_fill_bulk_transfer(transfer, handle_, endpoint, buffer.data(),
                              static_cast<int>(buffer.size()), MarkCompleted, &wait,
                              0 /* no time-out: the boot loader answers when it is ready */);
    {
        // Under the lock so that an Interrupt either sees this transfer or
        // has already been seen here.
        std::lock_guard lock(inFlightMutex_);
        if (interrupted_.load()) {
            libusb_free_transfer(transfer);
            return TransferStatus::Stopped;
        }
        const int submitted = libusb_submit_transfer(transfer);
        if (submitted != LIBUSB_SUCCESS) {
            qCDebug(lcUsb, "%s: submitting a transfer failed: %s", info_.path.c_str(),
                    libusb_error_name(submitted));
            libusb_free_transfer(transfer);
            return submitted == LIBUSB_ERROR_NO_DEVICE ? TransferStatus::Disconnected
                                                       : TransferStatus::Failed;
        }
        inFlight_ = transfer;
    }
    const TransferStatus status = AwaitCompletion(transfer, wait);
    if (status != TransferStatus::Ok && status != TransferStatus::Stopped)
        qCDebug(lcUsb, "%s: transfer on endpoint 0x%02x ended with libusb status %d",
                info_.path.c_str(), endpoint, static_cast<int>(transfer->status));
    transferred = static_cast<std::size_t>(std::max(transfer->actual_length, 0));
    libusb_free_transfer(transfer);
    return status;
}

TransferStatus LibusbTransport::AwaitCompletion(libusb_transfer* transfer, TransferWait& wait) {
    // Whichever thread handles libusb's events runs the completion (the
    // hot-plug source's thread, say); this loop only returns once it has, so
    // `wait` never outlives its use.
    while (!wait.done.load(std::memory_order_acquire)) {
        timeval tick{1, 0};
        const int result =
            libusb_handle_events_timeout_completed(context_->Raw(), &tick, &wait.completed);
        if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_INTERRUPTED &&
            !wait.done.load(std::memory_order_acquire)) {
            qCDebug(lcUsb, "libusb event handling failed: %s", libusb_error_name(result));
            libusb_cancel_transfer(transfer); // event handling broke down: end the transfer
        }
    }
    std::lock_guard lock(inFlightMutex_);
    inFlight_ = nullptr;
    return StatusOf(*transfer, interrupted_.load());
}

} // namespace marlow::usb
