#include "result_document.h"
