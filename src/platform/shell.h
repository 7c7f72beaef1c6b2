// Shell services: change notification, special folders, folder deletion,
// opening documents.
#pragma once

// Tells the shell that file associations changed, flushing at once.
void NotifyAssociationsChanged(bool flush);
