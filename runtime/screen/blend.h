// Blend tables of 32-bit drawing with alpha, built the first time a pixel is blended (init_blend).
//
// cblend[(alpha << 16) + (source << 8) + destination] is the blended colour component;
// ablend[(alpha1 << 8) + alpha2] the combined alpha; ablend127 and ablend128 are its rows for the
// alphas 127 and 128.
#pragma once

#include <cstdint>

extern uint8_t* cblend;
extern uint8_t* ablend;
extern uint8_t* ablend127;
extern uint8_t* ablend128;

void init_blend();
