// The board link as the window uses it: opening and setting up the FTDI device,
// the drive settings frame, the "Send Data" button and closing.
#pragma once

#include <optional>

#include "form/mainform.h"
#include "link/answer_watch.h"
#include "link/link.h"
#include "link/frame.h"

namespace tavrin {

class DeviceLink {
 public:
  DeviceLink(Mainform& form, Link& link);

  // Finds device 0, opens it by description and sets the link up (19200 8N1,
  // no flow control, RTS and DTR cleared). Reports only through Info.
  void OpenCommPort();

  // Enable line by mode, then the frame from the boxes and form variables.
  // Refuses (sends nothing, says why in a note after Info) when a box is not a number or
  // its value cannot be encoded; a refused motor-off frame (mode 4) still
  // clears the enable line, any other touches no line. Returns false when refused.
  bool SendDriveSettings();

  // The frame SendDriveSettings would send now, or the reason it cannot.
  std::optional<FrameFields> currentFrame(std::string* whyNot = nullptr) const;

  void cmdWrite_Click();

  // A short note after whatever Info shows (the device line, an error): why
  // something was not sent or measured. The next frame that goes out, or the
  // next note, takes it away again.
  void note(const std::string& text);
  void clearNote();

  // FT_Close; a failure turns Info red with the close message.
  void closeDevice();

  // Every operation after a successful open goes through the answer watch.
  Link& link() { return ft_; }
  // Calls to the opened board that failed so far: a procedure that sees this
  // grow has lost its board.
  std::uint64_t failedCalls() const { return watch_.failedCalls(); }
  const std::string& firstFailedCall() const { return watch_.firstFailure(); }

 private:
  Mainform& f_;
  AnswerWatch watch_;  // every call after a successful open goes through it
  Link& ft_;
  std::string note_;  // the note now at the end of Info, if any
};

}  // namespace tavrin
