# Compile settings every target of the tree shares.
add_library(quillora_common INTERFACE)
target_compile_features(quillora_common INTERFACE cxx_std_20)
target_compile_definitions(quillora_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_KEYWORDS)
target_compile_options(quillora_common INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
if(QUILLORA_WERROR)
  target_compile_options(quillora_common INTERFACE -Werror)
endif()
if(QUILLORA_SANITIZE)
  target_compile_options(quillora_common INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quillora_common INTERFACE -fsanitize=address,undefined)
endif()
if(QUILLORA_FUZZ)
  target_compile_options(quillora_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(quillora_common INTERFACE -fsanitize=address,undefined)
endif()
