// The uninstall run: confirmation, integration clean-up, deletion passes
// over "Uninstall.lst" and the self-removal batch file.
#pragma once

enum class Interaction {
  Ask,     // the question first, then the messages
  Silent,  // no question; the messages still wait for their user
  // No window at all, for deployment tools that nobody watches: every
  // message takes its default answer unseen, and the instances the batch
  // file starts are quiet too.
  Quiet,
};

// Removes the archiver from the machine. Reports only a missing list file,
// a needed restart, and what is left for the user to delete (the leftover
// warning).
void RunUninstall(Interaction interaction);
