// quillon-e2e-box TEXT: the program's own error box with TEXT, shown as the
// program shows it (view::ErrorBox), for a script to compare a screenshot of
// the real program's box against. "\n" in TEXT stands for a line break.
#include <QApplication>
#include <QString>

#include "view/error_box.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillon"));
  if (argc != 2) return 2;
  view::ErrorBox::Show(nullptr,
                       QString::fromUtf8(argv[1]).replace(QStringLiteral("\\n"), QStringLiteral("\n")));
  return 0;
}
