#include "usb/libusb_device_source.h"

#include "usb/libusb_context.h"
#include "usb/libusb_device_info.h"
#include "usb/libusb_transport.h"

#include <atomic>
#include <condition_variable>
#include <libusb.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/time.h>
#include <thread>

namespace marlow::usb {

// A device coming or going, holding its own reference on the device.
struct Change {
    libusb_device* device;
    bool arrived;
    bool atStart; // found by the look at the devices present at the start
};

struct LibusbDeviceSource::State {
    std::vector<UsbId> ids;
    Options options;
    DeviceEvents events;
    std::shared_ptr<LibusbContext> context;

    std::mutex changesMutex;
    std::vector<Change> changes;

    // Matching devices reported as arrived, each with a reference held.
    std::map<libusb_device*, std::string> present;
    // Matching devices that were there at the start and are left alone until
    // they leave, each with a reference held.
    std::set<libusb_device*> leftAlone;
    // While the devices present at the start are looked at.
    bool lookingAtStart = false;

    bool hotplug = false;
    libusb_hotplug_callback_handle callback = 0;
    std::atomic<bool> stopping{false};
    std::mutex pauseMutex;
    std::condition_variable pauseWake;
    std::thread thread;

    void Queue(libusb_device* device, bool arrived) {
        std::lock_guard lock(changesMutex);
        changes.push_back({libusb_ref_device(device), arrived, lookingAtStart});
    }

    void RunHotplug() {
        while (!stopping.load()) {
            Deliver();
            timeval tick{1, 0};
            libusb_handle_events_timeout_completed(context->Raw(), &tick, nullptr);
        }
    }

    void RunPolling() {
        lookingAtStart = true;
        while (!stopping.load()) {
            Rescan();
            lookingAtStart = false;
            Deliver();
            std::unique_lock lock(pauseMutex);
            pauseWake.wait_for(lock, options.pollInterval, [this] { return stopping.load(); });
        }
    }

    void Rescan() {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context->Raw(), &list);
        if (count < 0)
            return;
        std::set<libusb_device*> listed(list, list + count);
        for (libusb_device* device : listed)
            if (present.count(device) == 0)
                Queue(device, true);
        for (const auto& [device, path] : present)
            if (listed.count(device) == 0)
                Queue(device, false);
        for (libusb_device* device : leftAlone)
            if (listed.count(device) == 0)
                Queue(device, false);
        libusb_free_device_list(list, 1);
    }

    // Runs the events, on this thread only, outside any libusb callback so
    // that a device may be opened for its description.
    void Deliver() {
        std::vector<Change> taken;
        {
            std::lock_guard lock(changesMutex);
            taken.swap(changes);
        }
        for (const Change& change : taken) {
            if (change.arrived)
                Arrive(change.device, change.atStart);
            else
                Leave(change.device);
            libusb_unref_device(change.device);
        }
    }

    void Arrive(libusb_device* device, bool atStart) {
        if (present.count(device) != 0 || leftAlone.count(device) != 0)
            return;
        const UsbDeviceInfo info = ReadUsbDeviceInfo(device);
        if (!MatchesAny(ids, info.vendor, info.product))
            return;
        if (atStart && !options.serveAttached) {
            leftAlone.insert(libusb_ref_device(device));
            if (events.alreadyAttached)
                events.alreadyAttached(DescribeUsbDevice(device, info));
            return;
        }
        present.emplace(libusb_ref_device(device), info.path);
        if (events.arrived)
            events.arrived(std::make_unique<LibusbTransport>(context, device,
                                                             DescribeUsbDevice(device, info)));
    }

    void Leave(libusb_device* device) {
        if (leftAlone.erase(device) != 0) {
            libusb_unref_device(device);
            return;
        }
        const auto known = present.find(device);
        if (known == present.end())
            return;
        const std::string path = known->second;
        present.erase(known);
        libusb_unref_device(device);
        if (events.removed)
            events.removed(path);
    }

    void Forget() {
        std::lock_guard lock(changesMutex);
        for (const Change& change : changes)
            libusb_unref_device(change.device);
        changes.clear();
        for (const auto& [device, path] : present)
            libusb_unref_device(device);
        present.clear();
        for (libusb_device* device : leftAlone)
            libusb_unref_device(device);
        leftAlone.clear();
    }
};

namespace {

int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                          void* state) {
    // Only queued here: libusb forbids I/O inside its callbacks, and the
    // events belong on the source's thread.
    static_cast<LibusbDeviceSource::State*>(state)->Queue(
        device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    return 0;
}

} // namespace

LibusbDeviceSource::LibusbDeviceSource(std::vector<UsbId> ids)
    : LibusbDeviceSource(std::move(ids), Options{}) {}

LibusbDeviceSource::LibusbDeviceSource(std::vector<UsbId> ids, Options options)
    : state_(std::make_unique<State>()) {
    state_->ids = std::move(ids);
    state_->options = options;
}

LibusbDeviceSource::~LibusbDeviceSource() {
    Stop();
}

Status LibusbDeviceSource::Start(DeviceEvents events) {
    State& state = *state_;
    if (state.thread.joinable())
        return Failure{"The USB device source is already running"};
    Result<std::shared_ptr<LibusbContext>> context = LibusbContext::Create();
    if (!context)
        return Failure{context.Error()};
    state.context = std::move(*context);
    state.events = std::move(events);
    state.stopping.store(false);
    state.hotplug = false;
    if (!state.options.forcePolling && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) != 0) {
        const auto all = static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                           LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
        // The devices present now come through the callback before the
        // registration returns, on this thread.
        state.lookingAtStart = true;
        state.hotplug =
            libusb_hotplug_register_callback(state.context->Raw(), all, LIBUSB_HOTPLUG_ENUMERATE,
                                             LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                             LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug, &state,
                                             &state.callback) == LIBUSB_SUCCESS;
        state.lookingAtStart = false;
    }
    state.thread = std::thread([&state] {
        if (state.hotplug)
            state.RunHotplug();
        else
            state.RunPolling();
    });
    return {};
}

void LibusbDeviceSource::Stop() {
    State& state = *state_;
    if (!state.thread.joinable())
        return;
    {
        std::lock_guard lock(state.pauseMutex);
        state.stopping.store(true);
    }
    state.pauseWake.notify_all();
    libusb_interrupt_event_handler(state.context->Raw());
    state.thread.join();
    if (state.hotplug)
        libusb_hotplug_deregister_callback(state.context->Raw(), state.callback);
    state.Forget();
    state.context.reset();
}

bool LibusbDeviceSource::UsesHotplugEvents() const {
    return state_->hotplug;
}

} // namespace marlow::usb
