// The removal of every integration that setup made and of the product's
// registry traces, before the installed files go.
#pragma once

void CleanUpIntegration();
