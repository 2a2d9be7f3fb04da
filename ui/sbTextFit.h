// SPDX-License-Identifier: GPL-2.0-or-later
// The windows are laid out for the fonts their texts were measured in. With
// another font, or a longer text, a label, check box, radio button or push
// button may need more room than it was given: it grows instead of cutting
// its text. Controls managed by a layout are left to the layout; image
// buttons keep the size of their picture.
#pragma once

class QWidget;

// Grows w, when it is one of the controls above, just enough to show its
// whole text: a label to the side its alignment points away from, then back
// inside its parent; a label wider than its parent wraps and grows down.
void sbGrowToFit(QWidget* w);
// sbGrowToFit for root and every control inside it.
void sbFitTexts(QWidget* root);
// Keeps every control of the program fitted: when it is shown and when its
// text changes. Needs a QApplication; once is enough.
void sbInstallTextFitter();
