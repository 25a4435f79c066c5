// The system's own message boxes for errors a program can handle itself.
#pragma once

namespace platform {

// Has the system fail a call instead of asking the user, for this process and the programs it starts:
// on Windows no "There is no disk in the drive" box for an empty card reader or CD drive, and no box
// for a file that cannot be opened; such a box would hold the thread that asked until someone answers
// it, and a line's PC may have nobody to answer. Called first thing by each front end. Nothing
// elsewhere, where the system asks no such questions.
void failInsteadOfSystemErrorBoxes();

}  // namespace platform
