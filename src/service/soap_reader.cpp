#include "soap_reader.h"
