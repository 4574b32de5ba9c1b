// ArrayType: the code of one element of a structured state variable. Codes
// 0 to 4 are scalar elements of a fixed size in the saved state; every code
// above 4 is a structured element sized by its own StateSize().
#pragma once

typedef int ArrayType;

enum ArrayTypeCode : int {
  SHORT_ELEMENT = 0,   // 2 bytes
  INT_ELEMENT = 1,     // 4 bytes
  CHAR_ELEMENT = 2,    // 1 byte
  DOUBLE_ELEMENT = 3,  // 8 bytes
  FLOAT_ELEMENT = 4,   // 4 bytes
  STRUCT_ELEMENT = 5   // and above: structured
};

// Saved-state size of a scalar code; 0 for structured codes.
inline int scalarElementSize(ArrayType code) {
  switch (code) {
    case SHORT_ELEMENT: return 2;
    case INT_ELEMENT: return 4;
    case CHAR_ELEMENT: return 1;
    case DOUBLE_ELEMENT: return 8;
    case FLOAT_ELEMENT: return 4;
    default: return 0;
  }
}

inline bool isStructuredElement(ArrayType code) { return code > FLOAT_ELEMENT; }
