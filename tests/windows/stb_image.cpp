#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
