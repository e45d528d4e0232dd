#include "drive/device_link.h"

#include "core/numbers.h"

namespace tavrin {

DeviceLink::DeviceLink(Mainform& form, Link& link)
    : f_(form),
      watch_(link,
             [this](const char* call, LinkStatus status) {
               f_.setForecolor(f_.Info, colors::red);
               f_.setText(f_.Info, std::string("Comm ERROR: ") + call + " failed (status " + std::to_string(status) +
                                       ") - the board no longer answers");
             }),
      ft_(watch_) {}

void DeviceLink::OpenCommPort() {
  Module1& m = f_.module1;
  // The window's message as it always read; where the backend knows why
  // (no such port, no permission, the library's own words), that follows.
  auto fail = [&](const char* message) {
    const std::string why = ft_.lastProblem();
    f_.setForecolor(f_.Info, colors::red);
    f_.setText(f_.Info, why.empty() ? std::string(message) : std::string(message) + " (" + why + ")");
  };

  std::uint32_t count = 0;
  m.LastStatus = ft_.deviceCount(count);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI driver not ready");

  std::string serial;
  m.LastStatus = ft_.deviceSerial(0, serial);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI port not responding");
  m.DeviceSerial = serial;

  std::string description;
  m.LastStatus = ft_.deviceDescription(0, description);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI device not ready");
  m.DeviceDescription = description;
  f_.setText(f_.Info, " - " + m.DeviceDescription + "  Handle: " + m.DeviceSerial);

  LinkHandle handle = nullptr;
  m.LastStatus = ft_.openByDescription(m.DeviceDescription, handle);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI failed to open device");
  m.DeviceHandle = handle;

  m.LastStatus = ft_.reset(m.DeviceHandle);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI failed to reset device");
  m.LastStatus = ft_.purge(m.DeviceHandle, ft::PURGE_RX | ft::PURGE_TX);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI failed to purge device");
  m.LastStatus = ft_.setBaudRate(m.DeviceHandle, 19200);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI failed to set baudrate");
  m.LastStatus = ft_.setDataCharacteristics(m.DeviceHandle, 8, 0, 0);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI faild to set com settings");
  m.LastStatus = ft_.setFlowControl(m.DeviceHandle, 0, 0, 0);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI faild to set flow settings");
  m.LastStatus = ft_.clrRts(m.DeviceHandle);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI faild to power device");
  m.LastStatus = ft_.clrDtr(m.DeviceHandle);
  if (m.LastStatus != ft::OK) return fail("Comm ERROR: FTDI faild to power device");
  watch_.arm(true);
}

std::optional<FrameFields> DeviceLink::currentFrame(std::string* whyNot) const {
  auto refuse = [&](const char* why) -> std::optional<FrameFields> {
    if (whyNot) *whyNot = why;
    return std::nullopt;
  };
  auto hz = wholeNumber(f_.txtFrekvens_DDS1.text);
  if (!hz) return refuse("Not sent: the frequency is not a number");
  auto fw = frequencyWord(*hz);
  if (!fw) return refuse("Not sent: the frequency is too high");
  auto deg = wholeNumber(f_.txtFase_DDS2.text);
  if (!deg) return refuse("Not sent: the phase is not a number");
  auto pw = phaseWord(*deg);
  if (!pw) return refuse("Not sent: the phase is out of range");
  FrameFields fields;
  fields.mode = static_cast<std::uint8_t>(f_.DriveMode & 0xFF);
  fields.freqWord = *fw;
  fields.phaseWord = *pw;
  fields.poutHi = f_.PoutByteHi;
  fields.poutLo = f_.PoutByteLo;
  return fields;
}

bool DeviceLink::SendDriveSettings() {
  std::string why;
  auto fields = currentFrame(&why);
  if (!fields) {
    // A stop is always meant: the enable line is the motor, and clearing it is safe.
    if (f_.DriveMode == 4) ft_.clrDtr(f_.module1.DeviceHandle);
    // A note after what Info shows: the device line or an error stays readable.
    note(why);
    return false;
  }
  Module1& m = f_.module1;
  if (f_.DriveMode == 4) {
    ft_.clrDtr(m.DeviceHandle);
  } else if (f_.DriveMode != 7) {
    ft_.setDtr(m.DeviceHandle);
  }
  clearNote();
  for (const auto& chunk : frameWrites(*fields)) {
    std::uint32_t written = 0;
    m.LastStatus = ft_.write(m.DeviceHandle, chunk, written);
  }
  return true;
}

void DeviceLink::note(const std::string& text) {
  clearNote();
  note_ = "  " + text;
  f_.setText(f_.Info, f_.Info.text + note_);
}

void DeviceLink::clearNote() {
  const std::string& info = f_.Info.text;
  if (!note_.empty() && info.size() >= note_.size() &&
      info.compare(info.size() - note_.size(), note_.size(), note_) == 0)
    f_.setText(f_.Info, info.substr(0, info.size() - note_.size()));
  note_.clear();
}

void DeviceLink::cmdWrite_Click() {
  f_.DriveMode = 1;
  // A refused frame started nothing: the motor button keeps telling the truth.
  if (SendDriveSettings()) f_.setText(f_.cmdStartMotor, "Motor Stop");
}

void DeviceLink::closeDevice() {
  watch_.arm(false);
  Module1& m = f_.module1;
  m.LastStatus = ft_.close(m.DeviceHandle);
  if (m.LastStatus != ft::OK) {
    f_.setForecolor(f_.Info, colors::red);
    f_.setText(f_.Info, "Comm ERROR: FTDI failed to close device");
  }
}

}  // namespace tavrin
