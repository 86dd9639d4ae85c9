#pragma once
// The help page: Quillon.htm, bundled with the program, opened in the
// desktop's browser at its main contents (#Main_Contents).

#include <QString>
#include <QUrl>

namespace app {

// Where the help page is: next to an installed program (share/quillon/help),
// or in the source tree of a build; empty when not found.
QString HelpFilePath();
// The address opened: the page's file URL with the fragment "Main_Contents".
QUrl HelpUrl();
// Opens it; whether a browser starts is not reported, as on the handheld.
void ShowHelp();

}  // namespace app
