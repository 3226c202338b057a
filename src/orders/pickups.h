// Downloadable goods: the pick-up registry of purchased files.
#pragma once

// Deletes expired or malformed pick-up records; the number deleted.
int purge_pickups();
