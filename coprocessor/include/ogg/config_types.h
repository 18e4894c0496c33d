/* libogg's integer types for the ARM940T build (configure writes this file on
 * hosted builds). newlib's int32_t is long, so the 32-bit types are spelled
 * int, as Tremor's own config_types.h does. */
#ifndef __CONFIG_TYPES_H__
#define __CONFIG_TYPES_H__

typedef short ogg_int16_t;
typedef unsigned short ogg_uint16_t;
typedef int ogg_int32_t;
typedef unsigned int ogg_uint32_t;
typedef long long ogg_int64_t;
typedef unsigned long long ogg_uint64_t;

#endif
