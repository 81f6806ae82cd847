#include "varnel_services.h"
