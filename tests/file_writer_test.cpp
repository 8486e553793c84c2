#include "support/temp_folder.h"
