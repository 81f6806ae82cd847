#include "http_transport.h"
