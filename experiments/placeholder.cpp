namespace experiments_placeholder {}
