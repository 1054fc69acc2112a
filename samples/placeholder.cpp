namespace samples_placeholder {}
