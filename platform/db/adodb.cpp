#include "platform/db/adodb.h"
