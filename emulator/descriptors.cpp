#include "emulator/descriptors.h"

#include <initializer_list>
#include <iterator>

namespace nurak::emu {

namespace {

// Buttons 1-5, X, Y and wheel relative: the layout a BIOS understands.
constexpr uint8_t kBootMouse[] = {
    0x05, 0x01,  // usage page: generic desktop
    0x09, 0x02,  // usage: mouse
    0xA1, 0x01,  // collection: application
    0x09, 0x01,  //   usage: pointer
    0xA1, 0x00,  //   collection: physical
    0x05, 0x09,  //     usage page: button
    0x19, 0x01,  //     usage minimum 1
    0x29, 0x05,  //     usage maximum 5
    0x15, 0x00,  //     logical minimum 0
    0x25, 0x01,  //     logical maximum 1
    0x95, 0x05,  //     report count 5
    0x75, 0x01,  //     report size 1
    0x81, 0x02,  //     input: data, variable, absolute
    0x95, 0x01,  //     report count 1
    0x75, 0x03,  //     report size 3
    0x81, 0x01,  //     input: constant (padding)
    0x05, 0x01,  //     usage page: generic desktop
    0x09, 0x30,  //     usage: X
    0x09, 0x31,  //     usage: Y
    0x09, 0x38,  //     usage: wheel
    0x15, 0x81,  //     logical minimum -127
    0x25, 0x7F,  //     logical maximum 127
    0x75, 0x08,  //     report size 8
    0x95, 0x03,  //     report count 3
    0x81, 0x06,  //     input: data, variable, relative
    0xC0,        //   end collection
    0xC0,        // end collection
};

// Body of a keyboard collection: modifiers, a reserved byte, five LED
// outputs and six key codes.
constexpr uint8_t kKeyboardBody[] = {
    0x05, 0x07,        // usage page: keyboard
    0x19, 0xE0,        // usage minimum: left control
    0x29, 0xE7,        // usage maximum: right GUI
    0x15, 0x00,        // logical minimum 0
    0x25, 0x01,        // logical maximum 1
    0x75, 0x01,        // report size 1
    0x95, 0x08,        // report count 8
    0x81, 0x02,        // input: data, variable, absolute
    0x95, 0x01,        // report count 1
    0x75, 0x08,        // report size 8
    0x81, 0x01,        // input: constant
    0x95, 0x05,        // report count 5
    0x75, 0x01,        // report size 1
    0x05, 0x08,        // usage page: LEDs
    0x19, 0x01,        // usage minimum: num lock
    0x29, 0x05,        // usage maximum: kana
    0x91, 0x02,        // output: data, variable, absolute
    0x95, 0x01,        // report count 1
    0x75, 0x03,        // report size 3
    0x91, 0x01,        // output: constant
    0x95, 0x06,        // report count 6
    0x75, 0x08,        // report size 8
    0x15, 0x00,        // logical minimum 0
    0x26, 0xFF, 0x00,  // logical maximum 255
    0x05, 0x07,        // usage page: keyboard
    0x19, 0x00,        // usage minimum 0
    0x2A, 0xFF, 0x00,  // usage maximum 255
    0x81, 0x00,        // input: data, array
};

constexpr uint8_t kSystemControl[] = {
    0x05, 0x01,  // usage page: generic desktop
    0x09, 0x80,  // usage: system control
    0xA1, 0x01,  // collection: application
    0x85, kSystemControlReportId,
    0x19, 0x81,  //   usage minimum: power down
    0x29, 0x83,  //   usage maximum: wake up
    0x15, 0x00,  //   logical minimum 0
    0x25, 0x01,  //   logical maximum 1
    0x75, 0x01,  //   report size 1
    0x95, 0x03,  //   report count 3
    0x81, 0x02,  //   input: data, variable, absolute
    0x95, 0x05,  //   report count 5
    0x81, 0x01,  //   input: constant
    0xC0,        // end collection
};

// One 16-bit array slot: the device reports a single usage at a time, which
// is how it signals events (0x0401 settings changed, 0x05xx/0x06xx keys).
constexpr uint8_t kConsumerControl[] = {
    0x05, 0x0C,  // usage page: consumer
    0x09, 0x01,  // usage: consumer control
    0xA1, 0x01,  // collection: application
    0x85, kConsumerReportId,
    0x19, 0x00,  //   usage minimum 0
    0x2A, 0xFF,
    0x06,        //   usage maximum 0x06FF
    0x15, 0x00,  //   logical minimum 0
    0x26, 0xFF,
    0x06,        //   logical maximum 0x06FF
    0x75, 0x10,  //   report size 16
    0x95, 0x01,  //   report count 1
    0x81, 0x00,  //   input: data, array
    0xC0,        // end collection
};

constexpr uint8_t kVendorCommand[] = {
    0x06, 0x1C,
    0xFF,        // usage page 0xFF1C
    0x09, 0x92,  // usage 0x92
    0xA1, 0x01,  // collection: application
    0x85, kCommandReportId,
    0x09, 0x01,  //   usage 1
    0x15, 0x00,  //   logical minimum 0
    0x26, 0xFF,
    0x00,        //   logical maximum 255
    0x75, 0x08,  //   report size 8
    0x95, 0x3F,  //   report count 63
    0x81, 0x02,  //   input: data, variable, absolute
    0x09, 0x02,  //   usage 2
    0x15, 0x00,  //   logical minimum 0
    0x26, 0xFF,
    0x00,        //   logical maximum 255
    0x75, 0x08,  //   report size 8
    0x95, 0x3F,  //   report count 63
    0x91, 0x02,  //   output: data, variable, absolute
    0xC0,        // end collection
};

constexpr uint8_t kHeadset[] = {
    0x05, 0x0C,  // usage page: consumer
    0x09, 0x01,  // usage: consumer control
    0xA1, 0x01,  // collection: application
    0x85, kCommandReportId,
    0x06, 0x00,
    0xFF,        //   usage page 0xFF00 (vendor)
    0x09, 0x01,  //   usage 1
    0x15, 0x00,  //   logical minimum 0
    0x26, 0xFF,
    0x00,        //   logical maximum 255
    0x75, 0x08,  //   report size 8
    0x95, 0x3F,  //   report count 63
    0x81, 0x02,  //   input: data, variable, absolute
    0x09, 0x02,  //   usage 2
    0x91, 0x02,  //   output: data, variable, absolute
    0xC0,        // end collection
};

void Append(std::vector<uint8_t>& out, std::initializer_list<uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

template <size_t N>
void Append(std::vector<uint8_t>& out, const uint8_t (&bytes)[N]) {
    out.insert(out.end(), bytes, bytes + N);
}

std::vector<uint8_t> BootKeyboard() {
    std::vector<uint8_t> d;
    Append(d, {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01});
    Append(d, kKeyboardBody);
    Append(d, {0xC0});
    return d;
}

std::vector<uint8_t> VendorInterface() {
    std::vector<uint8_t> d;
    Append(d, {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, kKeyboardReportId});
    Append(d, kKeyboardBody);
    Append(d, {0xC0});
    Append(d, kSystemControl);
    Append(d, kConsumerControl);
    Append(d, kVendorCommand);
    return d;
}

}  // namespace

std::vector<uint8_t> DescriptorFor(Model model, int interfaceNumber) {
    switch (model) {
        case Model::Mouse:
        case Model::Mouse3389:
            if (interfaceNumber == 0) return {std::begin(kBootMouse), std::end(kBootMouse)};
            if (interfaceNumber == 1) return VendorInterface();
            break;
        case Model::Keyboard:
            if (interfaceNumber == 0) return BootKeyboard();
            if (interfaceNumber == 1) return VendorInterface();
            break;
        case Model::Mousepad:
            if (interfaceNumber == 1) return VendorInterface();
            break;
        case Model::Headset:
            if (interfaceNumber == 3) return {std::begin(kHeadset), std::end(kHeadset)};
            break;
    }
    return {};
}

}  // namespace nurak::emu
