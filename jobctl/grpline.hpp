// The group line: the kind of group, its sizes, the number of groups of the
// job, and the set-up of the group's first table columns and title.
#pragma once

namespace qv::jobctl {

// What follows the group line.
enum class GrpNext {
  Data,   // a data group: the data keywords come next
  Model,  // constraint, calculation or simulation group: the matrix section
  Get,    // a saved model was restored: statements as in a continuation
};

// Reads the group line of the current group (MAINPR.IGRP, title in
// MAINPR.GRPTTL) and sets the group up.  On return the first line after
// the group line has been read (for Get: nothing more has been read).
GrpNext GRPLIN();

// Makes n the number of groups of the job: word 1 of WORKSP, NG, NGSET,
// and the integer group columns when the first group is being read (or
// before its title).  NG below 1 is error 210.
void SETNG(int n);

// Reads the number that follows the keyword at the cursor (NI=3, NI 3,
// #NGroups=2) without leaving the line; false when the line ends first.
bool NUMONL(int& value);

// Restores a model from the binary save file named on a GE line (the
// cursor on the word GE): the workspaces, their tops, NG and the current
// group, the label slot counter and RDPTR; multiple-fit mode is set.
void BINGET();

}  // namespace qv::jobctl
