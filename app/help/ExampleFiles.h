#pragma once

#include <QString>

namespace tg {

// The example documents shipped with the program: installed beside it under
// share/tonegarden/examples, or, in a build tree, the sources' examples.
QString ExamplesDirectory();
// The full name of one example ("routing.tgh"), or empty when there is no
// such example (or the name reaches outside the examples).
QString ExampleFile(const QString& name);

}  // namespace tg
