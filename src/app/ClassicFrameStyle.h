#pragma once

class QGroupBox;

// Draws the group box as the form was drawn: an etched line with the caption on it, over the
// window's own button-face colour, where Fusion and other styles draw a darker, rounded panel
// below the caption. Only the given box is drawn so; its children keep the window's style.
void setClassicFrameStyle(QGroupBox *frame);
