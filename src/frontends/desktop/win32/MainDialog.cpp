#include "DialogSupport.h"
