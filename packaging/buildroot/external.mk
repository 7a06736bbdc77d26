include $(sort $(wildcard $(BR2_EXTERNAL_FERNWICK_PATH)/package/*/*.mk))
