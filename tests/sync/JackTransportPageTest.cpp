// "JACK transport:" on the settings' MIDI page, beside the clock source it
// is one choice with, on a machine whose output is not on JACK.
#include <QComboBox>
#include <QLabel>
#include <QStandardItemModel>

#include "app/midiwindow/TMidiLink.h"
#include "app/midiwindow/TMidiSettingsPage.h"
#include "engine/midi/MidiPorts.h"
#include "host/MemorySettingsStore.h"
#include "tests/app/MainWindowFixture.h"

namespace tg {
namespace jack_transport_page_test {

class JackTransportPageTest : public test::MainWindowFixture {};

TEST_F(JackTransportPageTest, FollowIsTheClockSourceAndTheChoiceSaysWhyItIsNotOffered) {
  MidiPorts& ports = Form().Midi().Ports();
  TMidiSettingsPage page(ports);
  QComboBox* source = page.ClockSourceChoice();
  QComboBox* jack = page.JackTransportChoice();
  // The silent device plays through no JACK server.
  EXPECT_FALSE(jack->isEnabled());
  EXPECT_EQ(page.JackTransportNote()->text(),
            "JACK transport needs the output on JACK at 44100 Hz");
  const auto* items = qobject_cast<QStandardItemModel*>(source->model());
  ASSERT_NE(items, nullptr);
  EXPECT_FALSE(items->item(source->findText("JACK transport"))->isEnabled());
  EXPECT_EQ(jack->currentText(), "Off");

  // Following the transport and the clock source "JACK transport" are one.
  source->setCurrentIndex(source->findText("JACK transport"));
  EXPECT_EQ(jack->currentText(), "Follow");
  jack->setCurrentIndex(jack->findText("Lead"));
  EXPECT_EQ(source->currentText(), "Internal");
  source->setCurrentIndex(source->findText("MIDI clock"));  // leading from a MIDI clock
  EXPECT_EQ(jack->currentText(), "Lead");
  jack->setCurrentIndex(jack->findText("Follow"));
  EXPECT_EQ(source->currentText(), "JACK transport");
  page.Apply();
  EXPECT_EQ(engine->GetClockSource(), ClockSource::JackTransport);
  EXPECT_EQ(engine->GetJackTransport(), JackTransportMode::Follow);

  // Kept as words with the MIDI settings.
  MemorySettingsStore store;
  ports.Store(store);
  EXPECT_EQ(store.ReadString(SettingsGroup("MIDI"), "ClockSource"), "jack");
  EXPECT_EQ(store.ReadString(SettingsGroup("MIDI"), "JackTransport"), "follow");
  store.WriteString(SettingsGroup("MIDI"), "ClockSource", "internal");
  store.WriteString(SettingsGroup("MIDI"), "JackTransport", "lead");
  ports.Load(store);
  EXPECT_EQ(engine->GetJackTransport(), JackTransportMode::Lead);
  page.ReadCurrent();
  EXPECT_EQ(jack->currentText(), "Lead");
  EXPECT_EQ(source->currentText(), "Internal");
  std::vector<std::string> said;
  ports.SetMessageHandler([&](const std::string& text) { said.push_back(text); });
  store.WriteString(SettingsGroup("MIDI"), "JackTransport", "sideways");
  ports.Load(store);
  EXPECT_EQ(engine->GetJackTransport(), JackTransportMode::Off);
  ASSERT_FALSE(said.empty());
  EXPECT_EQ(said.back(),
            "The stored JACK transport setting \"sideways\" is unknown; JACK transport is off");
}

}  // namespace jack_transport_page_test
}  // namespace tg
