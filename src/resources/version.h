#pragma once
#define KORVIK_VERSION_BINARY 1, 0, 0, 0
#define KORVIK_VERSION_TEXT "1.0.0.0"
