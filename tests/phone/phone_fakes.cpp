#include "phone_fakes.h"

namespace marlow::phone::test {

void RecordingPhoneEvents::Post(const PhoneRunEvent& event) {
    events.push_back(event);
    // The owner hears the end before the skin's last (modal) box.
    if (const std::optional<PhoneRunEnd> end = ends_.Follow(event)) {
        ends.push_back(*end);
        const char* names[] = {"Succeeded", "Failed", "PortNotFound"};
        Add(std::string("end|") + names[static_cast<int>(*end)]);
    }
    if (owner == PhoneOwner::FrontPanel)
        frontPanel_.Show(event);
    else
        mainWindow_.Show(event);
}

} // namespace marlow::phone::test
