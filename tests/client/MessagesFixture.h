// Loads the product's message catalog once for a test program.
#pragma once
#include <gtest/gtest.h>

#include "lexmo/Lexmo.h"

class MessagesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { KESA_LoadMessages("Lexmo.dll"); }
};
