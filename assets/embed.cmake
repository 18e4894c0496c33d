# Writes an assembler file that embeds INPUT as the asset NAME:
# korvax_asset_<NAME> (the bytes) and korvax_asset_<NAME>_size (a 32-bit word).
file(WRITE ${OUTPUT}
"    .section .rodata.korvax_asset_${NAME},\"a\"\n"
"    .balign 32\n"
"    .global korvax_asset_${NAME}\n"
"korvax_asset_${NAME}:\n"
"    .incbin \"${INPUT}\"\n"
"korvax_asset_${NAME}_end:\n"
"    .balign 4\n"
"    .global korvax_asset_${NAME}_size\n"
"korvax_asset_${NAME}_size:\n"
"    .long korvax_asset_${NAME}_end - korvax_asset_${NAME}\n"
"    .section .note.GNU-stack,\"\",%progbits\n")
