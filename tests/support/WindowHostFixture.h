#pragma once

#include <QScrollArea>
#include <QWidget>

#include "forms/ContraptionWindowHost.h"
#include "forms/TContraptionForm.h"
#include "tests/support/EngineFixture.h"

namespace tg::test {

// A headless engine whose contraptions open their real editor windows in a
// scrolling pane.
class WindowHostFixture : public EngineFixture {
 protected:
  WindowHostFixture() {
    pane.resize(800, 600);
    pane.setWidget(new QWidget);
    pane.widget()->resize(2000, 2000);
    RegisterContraptionWindows(host);
    engine->Host().windows = &host;
  }
  ~WindowHostFixture() override { engine->Host().windows = &windows; }

  // Opens a contraption's window and answers it as the form class expected.
  template <typename Form>
  Form* Open(TGardeningContraption& c) {
    c.ShowWindow();
    return dynamic_cast<Form*>(host.WindowOf(c));
  }

  QScrollArea pane;
  ContraptionWindowHost host{&pane};
};

}  // namespace tg::test
