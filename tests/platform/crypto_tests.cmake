docsalve_add_test(platform_crypto_test SOURCES crypto_test.cpp LIBS docsalve_platform OpenSSL::Crypto)
# The provider is also checked against containers written by make-container.
docsalve_tool_path(platform_crypto_test make-container MAKE_CONTAINER_PATH)
