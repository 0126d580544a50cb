#include "umockdev_usb_bed.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <linux/usbdevice_fs.h>
#include <mutex>
#include <sys/ioctl.h>
#include <umockdev.h>

namespace marlow::test {

namespace {

constexpr std::size_t kSetupSize = 8;

// usbfs structures are native-endian kernel ABI: fields are copied in and
// out at their offsets.
int ReadInt(const UMockdevIoctlData* data, std::size_t offset) {
    int value = 0;
    std::memcpy(&value, data->data + offset, sizeof(value));
    return value;
}

void WriteInt(UMockdevIoctlData* data, std::size_t offset, int value) {
    std::memcpy(data->data + offset, &value, sizeof(value));
}

std::uintptr_t ReadPointer(const UMockdevIoctlData* data) {
    std::uintptr_t value = 0;
    std::memcpy(&value, data->data, sizeof(value));
    return value;
}

void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> Descriptors(const EmulatedBootLoaderShape& shape) {
    std::vector<std::uint8_t> d{18, 1, 0x00, 0x02, 0xff, 0, 0, 64};
    AppendLe16(d, shape.vendor);
    AppendLe16(d, shape.product);
    d.insert(d.end(), {0x00, 0x01, 1, 2, 0, 1});
    const std::uint8_t endpoints = shape.bulkPair ? 2 : 1;
    const std::uint16_t total = 9 + 9 + 7 * endpoints;
    d.insert(d.end(), {9, 2});
    AppendLe16(d, total);
    d.insert(d.end(), {1, 1, 0, 0x80, 50});
    d.insert(d.end(), {9, 4, 0, 0, endpoints, 0xff, 0, 0, 0});
    if (shape.bulkPair)
        d.insert(d.end(), {7, 5, 0x81, 2, 64, 0, 0});
    d.insert(d.end(), {7, 5, 0x02, 2, 64, 0, 0});
    return d;
}

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> d{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (const char c : text)
        AppendLe16(d, static_cast<std::uint8_t>(c));
    return d;
}

std::string Printed(const char* format, unsigned number) {
    char text[16];
    std::snprintf(text, sizeof(text), format, number);
    return text;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes)
        text += Printed("%02X", byte);
    return text;
}

// The memory an ioctl argument points at, or null with EFAULT.
UMockdevIoctlData* Resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t size,
                           int* error) {
    GError* failure = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(parent, offset, size, &failure);
    if (data == nullptr) {
        g_clear_error(&failure);
        *error = EFAULT;
    }
    return data;
}

// The bed cannot go on without what umockdev refused.
void Require(gboolean done, GError** failure, const char* what) {
    if (done)
        return;
    std::fprintf(stderr, "umockdev refused the %s: %s\n", what, (*failure)->message);
    g_clear_error(failure);
    std::abort();
}

} // namespace

struct PendingIn {
    UMockdevIoctlData* urb;
    UMockdevIoctlData* buffer;
    int length;
};

struct EmulatedBootLoader::State {
    EmulatedBootLoaderShape shape;
    std::string sysPath;
    UMockdevIoctlBase* handler = nullptr;

    mutable std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> outTransfers;
    std::deque<std::vector<std::uint8_t>> replies;
    std::deque<PendingIn> pendingIn;
    std::deque<UMockdevIoctlData*> reapable;
    std::vector<UMockdevIoctlData*> held; // kept alive until the bed goes
    int cancelledIn = 0;
    std::atomic<bool> gone{false};

    ~State() {
        for (UMockdevIoctlData* data : held)
            g_object_unref(data);
        if (handler != nullptr)
            g_object_unref(handler);
    }

    UMockdevIoctlData* Hold(UMockdevIoctlData* data) {
        held.push_back(static_cast<UMockdevIoctlData*>(g_object_ref(data)));
        return data;
    }

    void Finish(UMockdevIoctlData* urb, int actualLength, int status) {
        WriteInt(urb, offsetof(usbdevfs_urb, actual_length), actualLength);
        WriteInt(urb, offsetof(usbdevfs_urb, status), status);
        reapable.push_back(urb);
    }

    // Answers waiting IN transfers from the queued replies (or with the
    // unplug). Runs on umockdev's worker thread only, as all URB memory does.
    void AnswerPendingIn() {
        while (!pendingIn.empty() && (gone.load() || !replies.empty())) {
            PendingIn in = pendingIn.front();
            pendingIn.pop_front();
            if (gone.load()) {
                Finish(in.urb, 0, -ENODEV);
                continue;
            }
            std::vector<std::uint8_t>& reply = replies.front();
            const int count = std::min<int>(in.length, static_cast<int>(reply.size()));
            if (count > 0)
                std::memcpy(in.buffer->data, reply.data(), static_cast<std::size_t>(count));
            reply.erase(reply.begin(), reply.begin() + count);
            if (reply.empty())
                replies.pop_front();
            Finish(in.urb, count, 0);
        }
    }

    std::vector<std::uint8_t> ControlAnswer(const std::uint8_t* setup) {
        const std::uint8_t requestType = setup[0];
        const std::uint8_t request = setup[1];
        const std::uint8_t index = setup[2];
        const std::uint8_t type = setup[3];
        if (requestType != 0x80 || request != 6 || type != 3) // GET_DESCRIPTOR(string)
            return {};
        if (index == 0)
            return {4, 3, 0x09, 0x04};
        if (index == 1)
            return StringDescriptor(shape.manufacturer);
        if (index == 2)
            return StringDescriptor(shape.productName);
        return {};
    }

    long Submit(UMockdevIoctlData* arg, int* error) {
        if (gone.load()) {
            *error = ENODEV;
            return -1;
        }
        UMockdevIoctlData* urb = Resolve(arg, 0, sizeof(usbdevfs_urb), error);
        if (urb == nullptr)
            return -1;
        Hold(urb);
        const std::uint8_t type = urb->data[offsetof(usbdevfs_urb, type)];
        const std::uint8_t endpoint = urb->data[offsetof(usbdevfs_urb, endpoint)];
        const int length = ReadInt(urb, offsetof(usbdevfs_urb, buffer_length));
        UMockdevIoctlData* buffer = nullptr;
        if (length > 0) {
            buffer = Resolve(urb, offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(length),
                             error);
            if (buffer == nullptr)
                return -1;
            Hold(buffer);
        }
        std::lock_guard lock(mutex);
        if (type == USBDEVFS_URB_TYPE_CONTROL && buffer != nullptr &&
            static_cast<std::size_t>(length) >= kSetupSize) {
            std::vector<std::uint8_t> answer = ControlAnswer(buffer->data);
            const int room = length - static_cast<int>(kSetupSize);
            const int count = std::min<int>(room, static_cast<int>(answer.size()));
            if (count > 0)
                std::memcpy(buffer->data + kSetupSize, answer.data(),
                            static_cast<std::size_t>(count));
            Finish(urb, count, answer.empty() ? -EPIPE : 0);
        } else if (type == USBDEVFS_URB_TYPE_BULK && (endpoint & 0x80) == 0) {
            outTransfers.emplace_back(buffer != nullptr ? buffer->data : nullptr,
                                      buffer != nullptr ? buffer->data + length : nullptr);
            Finish(urb, length, 0);
        } else if (type == USBDEVFS_URB_TYPE_BULK) {
            pendingIn.push_back({urb, buffer, length});
        } else {
            *error = EINVAL;
            return -1;
        }
        return 0;
    }

    long Reap(UMockdevIoctlData* arg, int* error) {
        std::lock_guard lock(mutex);
        AnswerPendingIn();
        if (reapable.empty()) {
            *error = gone.load() ? ENODEV : EAGAIN;
            return -1;
        }
        UMockdevIoctlData* slot = Resolve(arg, 0, sizeof(void*), error);
        if (slot == nullptr)
            return -1;
        Hold(slot);
        umockdev_ioctl_data_set_ptr(slot, 0, reapable.front());
        reapable.pop_front();
        return 0;
    }

    long Discard(UMockdevIoctlData* arg, int* error) {
        const std::uintptr_t address = ReadPointer(arg);
        std::lock_guard lock(mutex);
        for (auto in = pendingIn.begin(); in != pendingIn.end(); ++in) {
            if (in->urb->client_addr != address)
                continue;
            ++cancelledIn;
            Finish(in->urb, 0, -ENOENT);
            pendingIn.erase(in);
            return 0;
        }
        *error = EINVAL;
        return -1;
    }

    long Handle(unsigned long request, UMockdevIoctlData* arg, int* error) {
        switch (request) {
        case USBDEVFS_SUBMITURB:
            return Submit(arg, error);
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            return Reap(arg, error);
        case USBDEVFS_DISCARDURB:
            return Discard(arg, error);
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_CLEAR_HALT:
            if (gone.load()) {
                *error = ENODEV;
                return -1;
            }
            return 0;
        case USBDEVFS_DISCONNECT_CLAIM: // no kernel driver to set aside: just claim
            return Handle(USBDEVFS_CLAIMINTERFACE, arg, error);
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            *error = ENODATA; // no kernel driver bound
            return -1;
        default:
            *error = ENOTTY;
            return -1;
        }
    }
};

namespace {

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer state) {
    int error = 0;
    const long result = static_cast<EmulatedBootLoader::State*>(state)->Handle(
        umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client), &error);
    umockdev_ioctl_client_complete(client, result, result < 0 ? error : 0);
    return TRUE;
}

} // namespace

struct UmockdevUsbBed::Impl {
    UMockdevTestbed* testbed = umockdev_testbed_new();
    std::vector<std::unique_ptr<EmulatedBootLoader>> devices;
    int nextMinor = 1;

    ~Impl() {
        devices.clear();
        g_object_unref(testbed);
    }
};

UmockdevUsbBed::UmockdevUsbBed() : impl_(std::make_unique<Impl>()) {}

UmockdevUsbBed::~UmockdevUsbBed() = default;

bool UmockdevUsbBed::Active() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr;
}

EmulatedBootLoader& UmockdevUsbBed::Plug(const EmulatedBootLoaderShape& shape, bool announce) {
    auto state = std::make_shared<EmulatedBootLoader::State>();
    state->shape = shape;
    const std::string bus = Printed("%03u", static_cast<unsigned>(shape.bus));
    const std::string address = Printed("%03u", static_cast<unsigned>(shape.address));
    const std::string name = std::to_string(shape.bus) + "-" + shape.port;
    state->sysPath = "/sys/devices/usb" + std::to_string(shape.bus) + "/" + name;
    const std::string devNode = "/dev/bus/usb/" + bus + "/" + address;
    const std::string vendor = Printed("%04x", shape.vendor);
    const std::string product = Printed("%04x", shape.product);

    const std::string description =
        "P: /devices/usb" + std::to_string(shape.bus) + "/" + name + "\n" + "N: bus/usb/" + bus +
        "/" + address + "\n" + "E: DEVNAME=" + devNode + "\n" +
        "E: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: BUSNUM=" + bus + "\nE: DEVNUM=" + address +
        "\n" + "A: idVendor=" + vendor + "\nA: idProduct=" + product +
        "\nA: busnum=" + std::to_string(shape.bus) +
        "\nA: devnum=" + std::to_string(shape.address) +
        "\nA: speed=480\nA: bConfigurationValue=1\nA: bNumConfigurations=1\n" +
        "A: manufacturer=" + shape.manufacturer + "\nA: product=" + shape.productName + "\n" +
        "A: dev=189:" + std::to_string(impl_->nextMinor++) + "\n" +
        "H: descriptors=" + Hex(Descriptors(shape)) + "\n";
    // The handler listens before the device shows: a source polling the
    // bus (or woken by another process's work) may open the node the
    // moment it appears, and an open without a listener fails.
    GError* failure = nullptr;
    state->handler = umockdev_ioctl_base_new();
    g_signal_connect(state->handler, "handle-ioctl", G_CALLBACK(OnIoctl), state.get());
    Require(
        umockdev_testbed_attach_ioctl(impl_->testbed, devNode.c_str(), state->handler, &failure),
        &failure, "ioctl handler");
    Require(umockdev_testbed_add_from_string(impl_->testbed, description.c_str(), &failure),
            &failure, "device");
    if (announce)
        umockdev_testbed_uevent(impl_->testbed, state->sysPath.c_str(), "add");
    impl_->devices.push_back(std::make_unique<EmulatedBootLoader>(state));
    return *impl_->devices.back();
}

void UmockdevUsbBed::Unplug(EmulatedBootLoader& device) {
    device.shared->gone.store(true);
    umockdev_testbed_uevent(impl_->testbed, device.shared->sysPath.c_str(), "remove");
    umockdev_testbed_remove_device(impl_->testbed, device.shared->sysPath.c_str());
}

std::vector<std::vector<std::uint8_t>> EmulatedBootLoader::OutTransfers() const {
    std::lock_guard lock(shared->mutex);
    return shared->outTransfers;
}

void EmulatedBootLoader::QueueReply(std::vector<std::uint8_t> packet) {
    std::lock_guard lock(shared->mutex);
    shared->replies.push_back(std::move(packet));
}

int EmulatedBootLoader::PendingInTransfers() const {
    std::lock_guard lock(shared->mutex);
    return static_cast<int>(shared->pendingIn.size());
}

int EmulatedBootLoader::CancelledInTransfers() const {
    std::lock_guard lock(shared->mutex);
    return shared->cancelledIn;
}

} // namespace marlow::test
