// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard's problem report (engine/sbProblemReport): offered on every
// error box and on the burning sheet, saved where the user says.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

// What the run showed the user: installed by the application object (the
// wizard log, or the burning sheet's rows once it has some).
void SetReportLinesSource(std::function<std::vector<std::string>()> source);

// Asks for the file (a .tar.gz named for now, in the home folder), writes
// the report and says where it went, or why it could not be written. Never
// raises.
void SaveProblemReport(QWidget* parent);
