#include "update/update.h"

// The bundle repair arrives with the live update.
void fixElectronUpdate() {}
