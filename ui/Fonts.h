#pragma once

#include <QFont>
#include <QString>

// The windows ask for the fonts of the original desktop. Where one is missing, a free font of the same
// kind and metrics takes its place (fonts-blankenburg, fonts-liberation2).
namespace qm::fonts {

// Loads the font files (*.ttf, *.otf) of `folder`, where the Windows zip ships the free fonts: their
// families then come before the system's, so the windows look as they were laid out whatever the system
// has (Wine offers only its own fallbacks). A missing folder loads nothing. True when a font was loaded.
bool loadBundled(const QString& folder);

// "Old English Text MT", else the Blankenburg blackletter.
QString blackletterFamily();
// "Times New Roman", else Liberation Serif.
QString serifFamily();
// "MS Sans Serif" or "Arial", else Liberation Sans: the windows' default font.
QString sansFamily();

// A regular font of `family` at `points`, sized in pixels as a 96 dpi screen shows it, so text keeps its
// place in the fixed pixel layouts whatever dpi the host reports.
QFont font(const QString& family, double points);

QFont blackletter(double points);
QFont serif(double points);
// The default font of controls: 8.25 points.
QFont standard();

} // namespace qm::fonts
