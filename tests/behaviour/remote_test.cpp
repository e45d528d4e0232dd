// The remote control on the simulated board in virtual time: each command runs
// the window's own handler (the trace shows an operator's calls), what the
// window refuses is an error with its reason, and a client's lines, limits,
// error queue and token behave as a lab's SCPI tools expect.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/script.h"
#include "remote/remote_control.h"
#include "rig.h"

namespace tavrin::testing {
namespace {

// Clients on the rig: lines sent at virtual times, answers collected, and a
// session looked at again while it waits for operations to end.
struct RemoteRig : Rig {
  explicit RemoteRig(sim::SimConfig config = quietBoard(), std::string token = "")
      : Rig(std::move(config)),
        control(program, [this](std::function<void()> f) { tk.post(tk.nowMs(), std::move(f)); }, std::move(token),
                "1.0"),
        client(control), other(control) {}

  void send(double ms, const std::string& text, int who = 0) {
    at(ms, [this, text, who] {
      (who ? other : client).receive(text);
      step(who);
    });
  }
  void step(int who) {
    remote::ClientSession& c = who ? other : client;
    c.run();
    (who ? otherAnswers : answers) += c.takeOutput();
    if (c.waiting()) at(tk.nowMs() + 10, [this, who] { step(who); });
  }
  // The error queue, emptied.
  std::vector<std::string> errors(remote::ClientSession& c) {
    std::vector<std::string> out;
    for (;;) {
      c.receive("SYST:ERR?\n");
      c.run();
      std::string line = c.takeOutput();
      if (line.rfind("0,", 0) == 0 || line.empty()) return out;
      out.push_back(line.substr(0, line.size() - 1));
    }
  }
  std::vector<std::string> errors() { return errors(client); }

  remote::RemoteControl control;
  remote::ClientSession client, other;
  std::string answers, otherAnswers;
};

TEST(Remote, CommandsRunTheWindowsHandlersAndQueriesReadItsState) {
  RemoteRig r;
  r.send(300, "FREQ 44100;:PHAS 45;:DIR REV\n");
  r.send(400, "outp on;OUTP ON\n");  // the direction button started the motor: no click
  r.send(500, "FREQuency?;PHASe?;DIRection?;OUTPut?;VOLT?\n");
  r.send(600, "MEAS:CURR?;:FETC:CURR?\n");
  r.start();

  const std::string mA = std::to_string(r.form().CurrentmA);
  EXPECT_EQ(r.answers, "44100;225;REV;1;1.3\n" + mA + ";" + mA + "\n");  // the button turns the phase round
  EXPECT_GT(r.form().CurrentmA, 100);  // at the peak, driven
  EXPECT_TRUE(r.board.rts());
  EXPECT_EQ(r.traceLines("FT_SetRts").size(), 1u);
  const auto started = r.traceLines("frame mode 1");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_NE(started.front().find("(44100 Hz)"), std::string::npos);
  EXPECT_TRUE(r.traceLines("frame mode 3").empty());
  EXPECT_TRUE(r.errors().empty());
}

// A client connected while start-up runs: its lines wait for start-up's end,
// and what they start cannot take start-up's one reading.
TEST(Remote, LinesSentDuringStartUpRunOnceItHasEnded) {
  RemoteRig r;
  r.send(20, "SWE:STAR 44000;STOP 44200;STEP 100;DWEL 10;:INIT:SWE;*OPC?;:DIR REV;:DIR?\n");
  r.start();
  EXPECT_EQ(r.answers, "1;REV\n");
  EXPECT_TRUE(r.form().ControlAvailable);
  const auto frames = r.frames();
  ASSERT_GE(frames.size(), 3u);
  EXPECT_NE(frames[1].find("frame mode 4"), std::string::npos);  // start-up's motor-off, after its reading
  EXPECT_TRUE(r.errors().empty());
}

// A client's commands and an operator's actions at the same moments give the
// same trace, call for call and time for time.
TEST(Remote, AClientsCommandsGiveTheTraceOfTheSameOperatorActions) {
  RemoteRig r;
  r.send(300, "SWE:STAR 43600;STOP 44600;STEP 250;DWEL 20\n");
  r.send(400, "INIT:SWE\n");
  r.send(1500, "FREQ 44100;:OUTP ON;:DIR REV\n");
  r.send(1700, "TRAC ON;TRAC?\n");  // on at once, though its click comes a moment later
  r.send(2500, "TRAC OFF\n");
  r.send(3000, "LOG ON\n");
  r.send(3500, "OUTP OFF;:LOG OFF\n");
  r.start();

  Rig o;
  std::ostringstream sink;
  const std::vector<ScriptAction> actions = {
      {0, 300, "settext", "TxtSwpStart", "43600"}, {0, 300, "settext", "TxtSwpStop", "44600"},
      {0, 300, "settext", "TxtSwpStep", "250"},    {0, 300, "settext", "TxtSteptime", "20"},
      {0, 400, "click", "CmdSwpStart", ""},        {0, 1500, "settext", "txtFrekvens_DDS1", "44100"},
      {0, 1500, "enter", "txtFrekvens_DDS1", ""},  {0, 1500, "click", "cmdStartMotor", ""},
      {0, 1500, "click", "Selectdir", ""},         {0, 1700, "click", "Tracking", ""},
      {0, 2500, "click", "Tracking", ""},          {0, 3000, "tick", "btGetCurrent", ""},
      {0, 3500, "click", "cmdStartMotor", ""},     {0, 3500, "untick", "btGetCurrent", ""}};
  for (const auto& a : actions)
    o.at(a.atMs, [&o, &sink, a] { deliverAction(o.program, a, o.tk, [](const std::string&) {}, sink); });
  o.start();
  ASSERT_GT(r.frames().size(), 20u);
  EXPECT_EQ(r.answers, "1\n");
  EXPECT_EQ(r.traceOut.str(), o.traceOut.str());
  EXPECT_TRUE(r.errors().empty());
}

TEST(Remote, WhatTheWindowRefusesOrCannotReadIsAnErrorWithItsReason) {
  RemoteRig r;
  r.send(100, "FREQ;FREQ 1,2;PHAS 400;NOPE 1;FREQ \"x\";SWE:STEP 0\n");
  r.send(200, "LOG:FILE \"C:\\..\\..\\x.txt\";:LOG:FILE \"C:\\ok.txt\"\n");
  r.send(300, "SWE:PEAK?\n");
  r.start();
  const std::vector<std::string> want = {
      "-109,\"Missing parameter\"", "-108,\"Parameter not allowed\"", "-222,\"Data out of range; 0 to 360 degrees\"",
      "-113,\"Undefined header\"", "-104,\"Data type error; a number is wanted\"",
      "-222,\"Data out of range; a whole number from 1 to 32767\"",
      "-224,\"Illegal parameter value; 'C:\\\\..\\\\..\\\\x.txt' is not inside the drive root\"",
      "-230,\"Data corrupt or stale; no sweep has run\""};
  EXPECT_EQ(r.errors(), want);
  EXPECT_EQ(r.form().LogFileName.text, "C:\\ok.txt");
  EXPECT_EQ(r.answers, "");  // a failed query answers nothing

  // The reduced state: the sweep is disabled, the board does not answer.
  RemoteRig reduced(withFaults("silent"));
  reduced.send(300, "INIT:SWE;:MEAS:CURR?\n");
  reduced.start();
  const auto errors = reduced.errors();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "-221,\"Settings conflict; 'Sweep start' is disabled: the board did not answer at start-up\"");
  EXPECT_EQ(errors[1], "-240,\"Hardware error; the board did not answer\"");
}

TEST(Remote, ASweepStartsAtOnceAndOpcAnswersWhenItHasEnded) {
  RemoteRig r;
  r.send(300, "SWE:STAR 43600;STOP 44600;STEP 250;DWEL 20\n");
  r.send(400, "INIT:SWE;*OPC?;:SWE:DATA?;RES?;PEAK?\n");
  r.send(410, "INIT:SWE\n", 1);      // another client, while the sweep runs
  r.send(420, "FETC:CURR?\n", 1);    // served at once all the same
  r.start();
  EXPECT_FALSE(r.form().SweepRunning);
  ASSERT_EQ(r.control.lastSweep().size(), 5u);
  EXPECT_EQ(r.answers, "1;43600,27,43850,70,44100,242,44350,70,44600,27;242,44100;44100\n");
  EXPECT_EQ(r.errors(r.other), std::vector<std::string>{"-221,\"Settings conflict; a sweep is running\""});
  EXPECT_FALSE(r.otherAnswers.empty());
}

TEST(Remote, LinesLimitsAndTheErrorQueueKeepTheClientsStreamSound) {
  RemoteRig r(Rig::quietBoard(), "s3cret");
  r.start();
  r.client.receive(std::string(5000, 'A'));
  r.client.receive("\r\n*IDN?\n");  // the long line is dropped whole; the next is read
  r.client.receive("SYST:AUTH \"wrong\"\nSYST:AUTH \"s3cret\"\n*IDN?\n");
  r.client.run();
  EXPECT_EQ(r.client.takeOutput(), "Corvex,Tavrin,TVSIM001,1.0\n");
  const auto errors = r.errors();
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(errors[0].substr(0, 5), "-223,");
  EXPECT_EQ(errors[1].substr(0, 5), "-203,");  // *IDN? before the token
  EXPECT_EQ(errors[2], "-203,\"Command protected; wrong token\"");

  for (int i = 0; i < 25; ++i) r.client.receive("NOPE\n");
  r.client.run();
  EXPECT_EQ(r.client.errorCount(), remote::kMaxErrors);
  const auto full = r.errors();
  EXPECT_EQ(full.back(), "-350,\"Queue overflow\"");
}

}  // namespace
}  // namespace tavrin::testing
