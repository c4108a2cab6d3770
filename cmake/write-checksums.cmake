# Writes a SHA-256 list in the form `sha256sum -c` reads: one "HASH  NAME" line per kit file.
# FILES holds NAME=PATH pairs, NAME being the file's place in the kit.
set(lines "")
foreach(entry ${FILES})
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 name)
    list(GET pair 1 path)
    file(SHA256 ${path} hash)
    string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE ${OUTPUT} "${lines}")
