#pragma once

class QPushButton;

// Return and Enter press a focused button, as Space does, the way the original desktop's buttons
// answered them; Qt's buttons outside dialogs answer Space only.
void pressOnEnter(QPushButton* button);
