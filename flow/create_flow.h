#pragma once
// The current flow object: the front end for the memory type in use.
#include <memory>

#include "flow/dev_flow.h"

// Replaces the current flow object by a front end of the memory type
// (program-wide MemoryType) when the bus type is USB; otherwise leaves none.
// The old object hands its job record back first. With `keepHandle` the new
// object takes over the open device. Sets LastStatusCode to 0.
void CreateFlow(bool keepHandle = false);
// The current flow object, or null.
CDevFlow* CurrentFlow();
// Destroys the current flow object (exit).
void DestroyFlow();
