#include <gtest/gtest.h>

#include "alpha_scene.h"
