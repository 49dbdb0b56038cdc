#include "app/Module1.h"

void Main()
{
}
