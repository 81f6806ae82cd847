#include "soap_writer.h"
