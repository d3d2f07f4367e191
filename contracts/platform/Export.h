// Shared libraries build with hidden visibility; exported names carry this mark.
#pragma once
#define NORV_EXPORT __attribute__((visibility("default")))
