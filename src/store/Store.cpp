// store
