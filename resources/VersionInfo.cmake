# The program's identity, in one place: the build takes its version from
# here, and the About box, the desktop entry and the link read these values
# through the generated version block.
set(LUMORA_PRODUCT_NAME "Lumora")
set(LUMORA_PRODUCT_VERSION "1.0.0.5")
set(LUMORA_LEGAL_COPYRIGHT "Copyright © 2026 The Lumora developers")
# The maker's web address: shown and opened by the About box and the link
# under the picture.
set(LUMORA_WEB_ADDRESS "https://lumora.example.org/")
